#pragma once
// TForm1: the main window. It owns the settings store, the search engine and the picture
// transfers, builds its parts (the command panel and bar, the search bar, the result list, the
// viewer panel and the banner bar) and wires them together, restores and saves its placement,
// and previews the keys typed in it.
#include <memory>
#include <string>

#include <QWidget>

#include "base/IniFiles.h"
#include "shell/Desktop.h"
#include "widgets/AdImage.h"

class QFrame;
class QLabel;
class TForm2;

namespace lumi {

class Commands;
class ConnectionPool;
class FileTransfers;
class ResultList;
class ResultGrid;
class ResultMenu;
class ResultStatus;
class SearchBar;
class SearchEngine;
class VersionCheck;
class ViewerPanel;

} // namespace lumi

class TForm1 : public QWidget, public lumi::Desktop {
public:
    // settingsFileName: the file SettingsFile reads and writes (lumi::settingsFilePath() in
    // the program). Runs FormCreate.
    explicit TForm1(const std::string& settingsFileName, QWidget* parent = nullptr);
    ~TForm1() override;

    std::unique_ptr<TIniFile> SettingsFile;

    // Main area: the search panel and the viewer panel share one place.
    QWidget* Panel3 = nullptr;
    QFrame* panel_Search = nullptr;

    // The window's parts.
    std::unique_ptr<lumi::SearchBar> Search;
    std::unique_ptr<lumi::ResultList> Results;
    std::unique_ptr<lumi::ResultGrid> Grid;
    std::unique_ptr<lumi::ViewerPanel> Viewer;
    std::unique_ptr<lumi::Commands> Commands;
    std::unique_ptr<lumi::ResultStatus> Status;
    lumi::ResultMenu* Menu = nullptr;

    // Banner bar.
    QFrame* Panel4 = nullptr;
    QLabel* SponsorCaption = nullptr;
    // The sponsor banner (468 × 60, drawn by the engine library beside the program). The
    // options dialog passes the saved proxy to it with SetProxy.
    TAdImage* AdImage1 = nullptr;

    // The search engine (a child of the window, created by FormCreate): session, queues,
    // client pools, the results behind the result list and the counters the labels show.
    lumi::SearchEngine* Engine = nullptr;
    // The diagnostics window, created by the program start right after this window.
    TForm2* Form2 = nullptr;
    // The picture transfers of the downloader, the viewer and the slide show (a child of
    // the window): each kind's step in Transfers follows the transfers it started.
    lumi::FileTransfers* Transfers = nullptr;
    // The connections the engine, the transfers and the thumbnails keep open between requests.
    std::shared_ptr<lumi::ConnectionPool> Connections;
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

    // Brings panel (panel_Search or the viewer's panel) over the whole main area and hides
    // the other.
    void ShowPanel(QWidget* panel);
    bool ViewerShown() const;

    // Applies the saved placement before the window first appears on the desktop.
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildBannerBar();
    void connectVersionCheck();
    // Tab order through every control and command, and the window's command keys.
    void connectKeys();
    // Creates Engine and attaches the parts that show it or work on its results.
    void connectEngine();
    // The results' menu, clipboard, drag, status row and zoom keys.
    void connectResults();
    // Sets the window's bounds and state from the settings, once, before it first shows.
    void restorePlacement();
    // The smallest size: 640 × 480, or the screen's free area where that is smaller (at high
    // scale factors).
    void fitMinimumSize(const QRect& area);
    // Moves and shrinks the window so that its frame, title bar included, lies on the screen.
    void fitFrameToScreen();
    // Places the command panel, the main area and the banner bar as the window's size asks.
    void alignPanels();

    QWidget* filledPanel_ = nullptr;
    bool shownOnce_ = false;
    bool placementRestored_ = false;
};
