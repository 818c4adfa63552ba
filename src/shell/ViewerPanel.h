#pragma once
// The main window's viewer panel: the picture as large as fits, and the slide show's pacing
// with its pause timer. The panel shares the main area with the search panel; which of the
// two is in front is the window's to say. A caption over the picture names it, gives its
// pixel size and its place among the results; the keys that step through them are handed on.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QObject>
#include <QString>

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

// Where a viewed picture stands among those the viewer steps through.
struct ViewPlace {
    QString position; // "12 of 1 012"; empty when the picture stands alone
    QImage thumbnail; // the cell's, shown stretched while the picture loads; may be null
};

// A step through the results, from the viewer's keys.
enum class ViewStep { Next, Previous, First, Last };
// The step a key asks for, if any: Right, Space, Page Down for the next; Left, Backspace,
// Page Up for the previous; Home and End for the first and the last.
bool viewStepOf(int key, ViewStep* step);
// "12 of 1 012": the place with its thousands set apart.
QString placeText(size_t index, size_t count);

class ViewerPanel : public QObject {
public:
    // Builds the panel (hidden) inside area, the main area it fills when shown.
    explicit ViewerPanel(QWidget* area);
    ~ViewerPanel();

    // Brings the panel to the front of the main area.
    std::function<void()> OnShowPanel;
    // A step key was pressed in the viewer.
    std::function<void(ViewStep step)> OnStep;
    // A viewed picture arrived and shows: its address and its pixels as shown.
    std::function<void(const std::string& address, const QImage& pixels)> OnViewed;

    // Follows the viewed and shown pictures that transfers fetch, and paces the slide show
    // over engine's ViewList (both outlive the panel).
    void attach(SearchEngine& engine, FileTransfers& transfers);

    // View: the loading picture at once, then the picture at address when it arrives, or
    // why it did not. Whatever was still on its way for the viewer is dropped first.
    void View(const std::string& address, const ViewPlace& place = {});
    // Slide show over addresses, in order; whatever was still on its way is dropped first.
    void SlideShowOf(const std::vector<std::string>& addresses);
    // Escape: the slide show stops and no picture still on its way is ever shown.
    void Stop();
    // Shows text in the panel in the picture's place.
    void showFailure(const QString& text);

    // Loads the picture file at path into ViewImage, fits it and shows the viewer; a failure
    // reports #0052 and leaves the screen as it was.
    void ViewImages(const std::string& path);
    // Places the current picture in panel_Viewer as large as fits, or unscaled when smaller.
    void FitPicture();
    void StartSlideShow();
    void SlideShowTimerTimer();

    QFrame* panel_Viewer = nullptr;
    QLabel* ViewImage = nullptr;
    // Why a picture could not be shown, in its place.
    QLabel* ViewMessage = nullptr;
    // The name, pixel size and place of the picture shown.
    QLabel* ViewCaption = nullptr;
    QTimer* SlideShowTimer = nullptr;
    // Runs out once resizing has settled: a picture shown larger than its decoded pixels is
    // decoded again for the panel.
    QTimer* SharpenTimer = nullptr;
    // The pacing of the slide show (absent without an engine).
    std::unique_ptr<SlideShow> Slides;
    PictureView ViewPicture;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The caption for the picture loaded now (its pixel size known) or on its way (with the
    // bytes received so far).
    void showCaption(bool loaded, int64_t received = 0);
    // Shows the thumbnail stretched over the place the picture will take while it loads.
    void showStandIn(const QImage& thumbnail);
    // Shows an arrived picture file, or why it cannot be shown.
    void showArrived(const std::string& path);
    // Loads path as ViewImages does; false with the reason when the picture cannot be shown.
    bool load(const std::string& path, std::string& reason);
    // Cancels the transfers the viewer still waits for; their files go with them.
    void dropPending();

    SearchEngine* engine_ = nullptr;
    FileTransfers* transfers_ = nullptr;
    // The files of the view and the slide the viewer waits for (empty: none). A picture that
    // arrives under another name is no longer wanted.
    std::string pendingView_;
    std::string pendingSlide_;
    std::string viewedAddress_;
    QString viewedName_;
    QString viewedPlace_;
};

// "Could not load NAME: REASON", the status line's protocol left out of REASON.
QString couldNotLoad(const std::string& name, const std::string& reason);

} // namespace lumi
