#pragma once
// The main window's commands: the command panel at the left (logo, Options, Web Site, Tell a
// Friend, About) and the command bar under the result list (View, Slide Show, Download,
// Visit), with what each does. The commands act on the picks, or on the current row when
// nothing is picked, are enabled exactly when they can act, and give the focus back to the
// view and the cell they were started from.
#include <functional>
#include <string>
#include <vector>

#include <QImage>

class QAbstractItemView;
class QCheckBox;
class QFrame;
class QWidget;
class TGlimFade;
class TIniFile;
class Tfrm_About;
class Tfrm_Download;
class Tfrm_Options;

namespace lumi {

class Desktop;
class FileTransfers;
class ResultList;
class SearchEngine;
class ViewerPanel;
enum class ViewStep;

class Commands {
public:
    static constexpr int PanelWidth = 148;
    static constexpr int BarHeight = 31;

    // What the commands work on; all of it outlives them.
    struct Targets {
        TIniFile& settings;
        FileTransfers& transfers;
        ResultList& results;
        ViewerPanel& viewer;
        Desktop& desktop;
    };

    // Builds the command panel (Panel2) in window and the command bar (Panel8) in searchPanel.
    Commands(QWidget* window, QWidget* searchPanel, Targets targets);

    // The commands that work on the search's results need its engine (absent when it could not
    // be created: they then do nothing).
    void attachEngine(SearchEngine* engine);

    // The view the results show in now (the list's or the grid's).
    std::function<QAbstractItemView*()> ShownView;
    // The thumbnail a row's cell shows (null when none is ready).
    std::function<QImage(size_t row)> ThumbnailOf;
    // A download started, and how it ended: saved of asked pictures went into folder.
    std::function<void()> OnDownloadStarted;
    std::function<void(size_t saved, size_t asked, const std::string& folder)> OnDownloadDone;

    // The dialogs, created by the program start.
    Tfrm_Download* frm_Download = nullptr;
    Tfrm_Options* frm_Options = nullptr;
    Tfrm_About* frm_About = nullptr;

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
    // Command bar.
    QFrame* Panel8 = nullptr;
    TGlimFade* GlimFade6 = nullptr;
    TGlimFade* GlimFade8 = nullptr;
    TGlimFade* GlimFade4 = nullptr;
    TGlimFade* GlimFade5 = nullptr;

    void GlimFade9Click();
    void GlimFade2Click();
    void GlimFade10Click();
    // "Options": shows the options dialog modally.
    void GlimFade1Click();
    // About: shows the about box modally.
    void GlimFade3Click();
    // View: the loading picture at once, then the first selected image when it arrives.
    void GlimFade6Click();
    void ListView1DblClick();
    // Slide Show: the selected images one after another, "Wait" seconds apart at least.
    void GlimFade8Click();
    // Download: saves the selected images into the save folder while the progress window
    // shows them go from queue to done.
    void GlimFade4Click();
    // Visit: opens the web folder of the first selected image.
    void GlimFade5Click();
    // Opens the picture itself in the browser.
    void OpenPictureClick();
    // Ctrl+C: the picks' addresses (or the current row's), one a line.
    void CopyAddresses();
    // Ctrl+Shift+C: the current picture (as the viewer shows it, else its thumbnail) with its
    // address.
    void CopyPicture();
    // The viewer's step keys: the next, previous, first or last of the picks when the view
    // began with several, else of all rows in the views' order.
    void StepView(ViewStep step);
    // Gives the focus back to the view shown, on its current cell, scrolled into view.
    void refocus();

private:
    // The rows to act on (targetRows); with none the user is asked to select one first.
    std::vector<size_t> selectedRowsOrAsk();
    // The picture addresses of result rows.
    std::vector<std::string> addressesOf(const std::vector<size_t>& rows) const;
    void buildCommandPanel(QWidget* window);
    void buildCommandBar(QWidget* searchPanel);
    void spreadCommandBar();
    void connectButtons();
    void enableSelectionCommands();
    // Runs command, then gives the focus back where it was when that was in the results.
    void keepingFocus(const std::function<void()>& command);
    // Views the row at place of viewOrder_.
    void viewAt(size_t place);

    Targets targets_;
    QWidget* window_;
    SearchEngine* engine_ = nullptr;
    // The rows the viewer steps through, and the place of the one it shows.
    std::vector<size_t> viewOrder_;
    size_t viewPlace_ = 0;
};

} // namespace lumi
