#pragma once
// The main window's viewer panel: the picture as large as fits, and the slide show's pacing
// with its pause timer. The panel shares the main area with the search panel; which of the
// two is in front is the window's to say.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "files/PictureView.h"

class QFrame;
class QLabel;
class QTimer;
class QWidget;

namespace lumi {

class FileTransfers;
class SearchEngine;
class SlideShow;

// The slide-show pause in milliseconds for "Wait" seconds, kept within what a timer holds
// (a negative Wait pauses not at all).
int slideShowInterval(int32_t waitSeconds);

// "loading.bmp" (beside the program, or where the install puts it): the viewer shows it while
// the first picture is on its way.
std::string loadingPicturePath();

class ViewerPanel {
public:
    // Builds the panel (hidden) inside area, the main area it fills when shown.
    explicit ViewerPanel(QWidget* area);
    ~ViewerPanel();

    // Brings the panel to the front of the main area.
    std::function<void()> OnShowPanel;

    // Follows the viewed and shown pictures that transfers fetch, and paces the slide show
    // over engine's ViewList (both outlive the panel).
    void attach(SearchEngine& engine, FileTransfers& transfers);

    // Loads the picture file at path into ViewImage, fits it and shows the viewer; a failure
    // reports #0052 and leaves the screen as it was.
    void ViewImages(const std::string& path);
    // Places the current picture in panel_Viewer as large as fits, or unscaled when smaller.
    void FitPicture();
    void StartSlideShow();
    void SlideShowTimerTimer();

    QFrame* panel_Viewer = nullptr;
    QLabel* ViewImage = nullptr;
    QTimer* SlideShowTimer = nullptr;
    // The pacing of the slide show (absent without an engine).
    std::unique_ptr<SlideShow> Slides;
    PictureView ViewPicture;
};

} // namespace lumi
