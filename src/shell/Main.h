#pragma once
// TForm1: the main window. It owns the settings store and the timers, lays out the command
// panel, the search area (search bar, result list, command bar), the viewer panel and the
// banner bar, restores and saves its placement, and hosts the commands.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QUrl>
#include <QWidget>

#include "base/ConfiguredHosts.h"
#include "base/IniFiles.h"
#include "engine/FileTransfers.h"
#include "files/PictureView.h"
#include "widgets/AdImage.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeView;
class TForm2;
class Tfrm_Download;
class Tfrm_Options;
class TGlimFade;
class Tfrm_About;

namespace lumi {

class SearchEngine;
class SlideShow;
class VersionCheck;

// Longest address CallBrowser hands to the desktop; a longer one is refused, never cut.
inline constexpr size_t BrowserTargetLimit = 1024;

// hostOrigin(makerHost()) + "/" (base/ConfiguredHosts.h).
std::string makerHomePage();
// The mail link that recommends the program (no recipient, nothing percent-encoded).
std::string tellAFriendLink();

// Opens an address with the desktop's handler; true when it was handed over.
using BrowserOpener = std::function<bool(const QUrl& url)>;
// Asks a Yes/No question; true for Yes.
using YesNoQuestion = std::function<bool(const QString& question)>;

// The slide-show pause in milliseconds for "Wait" seconds, kept within what a timer holds
// (a negative Wait pauses not at all).
int slideShowInterval(int32_t waitSeconds);

// Gives the result list its two columns' widths and alignment for the model it holds.
void styleResultColumns(QTreeView& list);

// "loading.bmp" (beside the program, or where the install puts it): the viewer shows it while
// the first picture is on its way.
std::string loadingPicturePath();

} // namespace lumi

class TForm1 : public QWidget {
public:
    // settingsFileName: the file SettingsFile reads and writes (lumi::settingsFilePath() in
    // the program). Runs FormCreate.
    explicit TForm1(const std::string& settingsFileName, QWidget* parent = nullptr);
    ~TForm1() override;

    // What the window uses to reach the desktop; tests replace them.
    lumi::BrowserOpener OpenBrowser;
    lumi::YesNoQuestion AskYesNo;
    // Shows a message with an OK button; tests replace it.
    std::function<void(const QString& message)> ShowMessage;

    std::unique_ptr<TIniFile> SettingsFile;

    // Command panel.
    QFrame* Panel2 = nullptr;
    TGlimFade* GlimFade9 = nullptr;
    QFrame* Bevel1 = nullptr;
    TGlimFade* GlimFade1 = nullptr;
    TGlimFade* GlimFade2 = nullptr;
    TGlimFade* GlimFade10 = nullptr;
    TGlimFade* GlimFade3 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QCheckBox* CheckBox4 = nullptr;

    // Main area: the search panel and the viewer panel share one place.
    QWidget* Panel3 = nullptr;
    QFrame* panel_Search = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* StatusCaption = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* FoundCaption = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* ProcessesCaption = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    // The search engine's change connects SearchButton, AbortButton and Edit1's Enter key.
    TGlimFade* SearchButton = nullptr;
    TGlimFade* AbortButton = nullptr;
    QCheckBox* CheckBox_CheckLinks = nullptr;
    QCheckBox* CheckBox_RecursiveSearch = nullptr;
    QPushButton* Button1 = nullptr;
    QFrame* ListFrame = nullptr;
    // Starts with an empty two-column model; a results model that replaces it calls
    // lumi::styleResultColumns again.
    QTreeView* ListView1 = nullptr;
    QFrame* Panel8 = nullptr;
    TGlimFade* GlimFade6 = nullptr;
    TGlimFade* GlimFade8 = nullptr;
    TGlimFade* GlimFade4 = nullptr;
    TGlimFade* GlimFade5 = nullptr;
    QFrame* panel_Viewer = nullptr;
    QLabel* ViewImage = nullptr;

    // Banner bar.
    QFrame* Panel4 = nullptr;
    QLabel* SponsorCaption = nullptr;
    // The sponsor banner (468 × 60, drawn by the engine library beside the program). The
    // options dialog passes the saved proxy to it with SetProxy.
    TAdImage* AdImage1 = nullptr;

    QTimer* SlideShowTimer = nullptr;

    // The search engine (a child of the window, created by FormCreate): session, queues,
    // client pools, the results behind ListView1 and the counters the labels show.
    lumi::SearchEngine* Engine = nullptr;
    // The diagnostics window, created by the program start right after this window.
    TForm2* Form2 = nullptr;
    // The picture transfers of the downloader, the viewer and the slide show (a child of
    // the window): GetFile below starts one, its kind's step in Transfers follows it.
    lumi::FileTransfers* Transfers = nullptr;
    // The download progress window, created by the program start.
    Tfrm_Download* frm_Download = nullptr;
    // The options dialog, created by the program start after the about box.
    Tfrm_Options* frm_Options = nullptr;
    // The about box, created by the program start; the About command shows it modally.
    Tfrm_About* frm_About = nullptr;
    // The start-up version check (a child of the window); its hooks show the question and
    // the error boxes over this window and open pages through OpenBrowser.
    lumi::VersionCheck* VersionCheck = nullptr;

    void FormCreate();
    void FormShow();
    void FormClose();
    void FormResize();
    // Sees every key typed in the window before the focused control; setting key to 0
    // keeps it from the control.
    void FormKeyPress(char& key);

    // Starts one picture transfer (see lumi::FileTransfers::GetFile); returns at once.
    void GetFile(const std::string& address, const std::string& target, TransferKind kind);

    // Hands an http address or a mailto link to the desktop's handler.
    void CallBrowser(const std::string& target);
    void GlimFade9Click();
    void GlimFade2Click();
    void GlimFade10Click();
    // "Options": shows the options dialog modally.
    void GlimFade1Click();
    // About: shows the about box modally.
    void GlimFade3Click();

    // Search bar and results list (the engine does the work).
    void SearchButtonClick();
    void AbortButtonClick();
    void Edit1KeyPress(char& key);
    // Download: saves the selected images into the save folder while the progress window
    // shows them go from queue to done.
    void GlimFade4Click();
    // Visit: opens the web folder of the first selected image.
    void GlimFade5Click();
    // "More Info": shows the diagnostics window, not modal.
    void Button1Click();

    // Brings panel (panel_Search or panel_Viewer) over the whole main area and hides the other.
    void ShowPanel(QWidget* panel);
    bool ViewerShown() const;

    // Applies the saved placement before the window first appears on the desktop.
    void setVisible(bool visible) override;

    // Viewer and slide show. ViewImages loads the picture file at path into ViewImage, fits it
    // and shows the viewer; a failure reports #0052 and leaves the screen as it was.
    void ViewImages(const std::string& path);
    // Places the current picture in panel_Viewer as large as fits, or unscaled when smaller.
    void FitPicture();
    // View: the loading picture at once, then the first selected image when it arrives.
    void GlimFade6Click();
    void ListView1DblClick();
    // Slide Show: the selected images one after another, "Wait" seconds apart at least.
    void GlimFade8Click();
    void StartSlideShow();
    void SlideShowTimerTimer();
    // The pacing of the slide show over Engine's ViewList (absent without an engine).
    std::unique_ptr<lumi::SlideShow> Slides;
    lumi::PictureView ViewPicture;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildCommandPanel();
    void buildSearchPanel();
    void buildViewerPanel();
    void buildBannerBar();
    void connectCommands();
    void connectVersionCheck();
    // Hands target to OpenBrowser; raises when it is too long, no address, or not opened.
    void openInBrowser(const std::string& target);
    // Creates Engine and wires the search bar, the labels and ListView1 to it.
    void connectEngine();
    // Sets the window's bounds and state from the settings, once, before it first shows.
    void restorePlacement();
    void showEngineState();
    // Places the command panel, the main area and the banner bar as the window's size asks.
    void alignPanels();
    // Wires the View and Slide Show commands, the pause timer and the picture transfers'
    // viewer steps (after FormCreate, which creates the engine).
    void connectViewer();
    // The selected result rows, from the top.
    std::vector<size_t> selectedRows() const;

    QWidget* filledPanel_ = nullptr;
    bool shownOnce_ = false;
    bool placementRestored_ = false;
};
