#include "shell/Main.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "base/AppPaths.h"
#include "base/Clock.h"
#include "base/ErrorReport.h"
#include "base/Latin1.h"
#include "base/OptionsSettings.h"
#include "base/SettingKeys.h"
#include "base/WindowPlacement.h"
#include "engine/FileTransfers.h"
#include "net/ConnectionPool.h"
#include "shell/GridThumbnails.h"
#include "engine/SearchEngine.h"
#include "engine/SlideShow.h"
#include "engine/unitVersionCheck.h"
#include "files/unit_Download.h"
#include "shell/Commands.h"
#include "shell/PanelArt.h"
#include "shell/ResultGrid.h"
#include "shell/PickingViews.h"
#include "shell/ResultList.h"
#include "shell/ResultMenu.h"
#include "shell/ResultStatus.h"
#include "shell/SearchBar.h"
#include "shell/Unit2.h"
#include "shell/ViewerPanel.h"
#include "widgets/GlimFade.h"

namespace {

constexpr int FormMinWidth = 640;
constexpr int FormMinHeight = 480;
constexpr int BannerBarHeight = 82;
const QString ProgramTitle = QStringLiteral("Lumisift v1.4");

const char* const Section = "Options";

} // namespace

TForm1::TForm1(const std::string& settingsFileName, QWidget* parent)
    : QWidget(parent), lumi::Desktop(this),
      SettingsFile(std::make_unique<TIniFile>(settingsFileName)) {
    setMinimumSize(FormMinWidth, FormMinHeight);
    resize(FormMinWidth, FormMinHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        fitMinimumSize(screen->availableGeometry());
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    setPalette(colours);

    Panel3 = new QWidget(this);
    panel_Search = lumi::blackPanel(Panel3);
    Search = std::make_unique<lumi::SearchBar>(panel_Search);
    // The phrase comes first in the title, so that windows and task bars tell searches apart.
    Search->OnSearchStarted = [this](const QString& phrase) {
        setWindowTitle(phrase + QStringLiteral(" \u2013 ") + ProgramTitle);
        if (Status) Status->forgetDownload();
    };
    Search->OnMoreInfo = [this] {
        if (Form2) Form2->show();
    };
    Results = std::make_unique<lumi::ResultList>(panel_Search);
    Grid = std::make_unique<lumi::ResultGrid>(*Results, *SettingsFile);
    Viewer = std::make_unique<lumi::ViewerPanel>(Panel3);
    Viewer->OnShowPanel = [this] { ShowPanel(Viewer->panel_Viewer); };
    Transfers = new lumi::FileTransfers(SettingsFile->FileName(), this);
    Commands = std::make_unique<lumi::Commands>(
        this, panel_Search,
        lumi::Commands::Targets{*SettingsFile, *Transfers, *Results, *Viewer, *this});
    auto* column = new QVBoxLayout(panel_Search);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(Search->Panel1);
    column->addWidget(Results->ListFrame, 1);
    column->addWidget(Commands->Panel8);
    buildBannerBar();
    connectVersionCheck();
    connectResults();
    connectKeys();

    filledPanel_ = panel_Search;
    alignPanels();
    FormResize();
    // Key preview: the window sees key presses before its controls do.
    qApp->installEventFilter(this);

    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::buildBannerBar() {
    Panel4 = lumi::blackPanel(this);
    SponsorCaption = lumi::placedLabel(Panel4, QStringLiteral("Please visit our sponsor:"),
                                       {0, 2, width(), 16}, Qt::white, true);
    SponsorCaption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    AdImage1 = new TAdImage(Panel4);
    AdImage1->setProgramID(311);
    AdImage1->setSize(ADS468x60);
    AdImage1->setAutoLoad(true);
    AdImage1->setOptions({});
    AdImage1->move(0, BannerBarHeight - AdImage1->height() - 3);
    AdImage1->Loaded();
}

void TForm1::connectVersionCheck() {
    VersionCheck = new lumi::VersionCheck(lumi::UserRegistry(lumi::registryStorePath()), this);
    VersionCheck->AskYesNo = [this](const std::string& question) {
        // Each carriage return of the question starts a new line; the notice comes from the
        // network, so it is shown as plain text, never as markup.
        QString text = lumi::latin1(question);
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        // On the heap: the box's nested event loop may see the window, its parent, go.
        const QPointer<QMessageBox> box(new QMessageBox(QMessageBox::Information,
                                                        QStringLiteral("Lumisift"), text,
                                                        QMessageBox::Yes | QMessageBox::No, this));
        box->setTextFormat(Qt::PlainText);
        const bool yes = box->exec() == QMessageBox::Yes;
        delete box.data();
        return yes;
    };
    VersionCheck->OpenAddress = [this](const std::string& address) {
        try {
            openInBrowser(address);
            return true;
        } catch (...) {
            return false;
        }
    };
    VersionCheck->OnNote = [this](const std::string& note) {
        if (Engine) Engine->appendDiagnosticsLine(note);
    };
    VersionCheck->ShowMessage = [this](const std::string& message) {
        ShowMessage(lumi::latin1(message));
    };
}

void TForm1::connectKeys() {
    QWidget* const chain[] = {Search->Edit1,
                              Search->SearchButton,
                              Search->AbortButton,
                              Search->CheckBox_CheckLinks,
                              Search->CheckBox_RecursiveSearch,
                              Search->Button1,
                              Results->ListView1,
                              Grid->GridView,
                              Commands->GlimFade6,
                              Commands->GlimFade8,
                              Commands->GlimFade4,
                              Commands->GlimFade5,
                              Commands->GlimFade1,
                              Commands->GlimFade2,
                              Commands->GlimFade10,
                              Commands->GlimFade3};
    for (size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    const auto shortcut = [this](QKeySequence keys, void (lumi::Commands::*command)()) {
        QObject::connect(new QShortcut(keys, this), &QShortcut::activated, this,
                         [this, command] { (Commands.get()->*command)(); });
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_O), &lumi::Commands::GlimFade1Click);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), &lumi::Commands::GlimFade4Click);
    shortcut(QKeySequence(Qt::Key_F5), &lumi::Commands::GlimFade8Click);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Return), &lumi::Commands::GlimFade6Click);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Enter), &lumi::Commands::GlimFade6Click);
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_B), &lumi::Commands::GlimFade5Click);
    shortcut(QKeySequence(Qt::Key_F1), &lumi::Commands::GlimFade3Click);
    QObject::connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated,
                     this, &QWidget::close);
    QObject::connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this), &QShortcut::activated,
                     this, [this] { Search->Button1Click(); });
    QObject::connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this), &QShortcut::activated,
                     this, [this] { Grid->toggle(); });
    const auto zoom = [this](QKeySequence keys, void (lumi::ResultGrid::*step)()) {
        QObject::connect(new QShortcut(keys, this), &QShortcut::activated, this,
                         [this, step] { (Grid.get()->*step)(); });
    };
    zoom(QKeySequence(Qt::CTRL | Qt::Key_Plus), &lumi::ResultGrid::zoomIn);
    zoom(QKeySequence(Qt::CTRL | Qt::Key_Equal), &lumi::ResultGrid::zoomIn);
    zoom(QKeySequence(Qt::CTRL | Qt::Key_Minus), &lumi::ResultGrid::zoomOut);
    zoom(QKeySequence(Qt::CTRL | Qt::Key_0), &lumi::ResultGrid::zoomReset);
    QObject::connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), this),
                     &QShortcut::activated, this, [this] { Status->openFolder(); });
    // The viewer takes the keys while it shows, so that Enter cannot reach a hidden command.
    Viewer->panel_Viewer->setFocusPolicy(Qt::ClickFocus);
}

void TForm1::connectResults() {
    Status = std::make_unique<lumi::ResultStatus>(*Results, *Grid->TopRow);
    Status->Open = [this](const QUrl& url) { return OpenBrowser && OpenBrowser(url); };
    Commands->ShownView = [this] { return Grid->shownView(); };
    Commands->OnDownloadStarted = [this] { Status->forgetDownload(); };
    Commands->OnDownloadDone = [this](size_t saved, size_t asked, const std::string& folder) {
        Status->downloadDone(saved, asked, folder);
    };
    Commands->ThumbnailOf = [this](size_t row) {
        const QImage* image = nullptr;
        std::string reason;
        return Engine && row < Engine->FoundList.size() &&
                       Grid->thumbnails().state(Engine->FoundList[row], &image, &reason) ==
                           lumi::GridThumbnails::State::Ready
                   ? *image
                   : QImage();
    };
    // A picture viewed whole gives its cell a thumbnail (a "large picture" one too).
    Viewer->OnViewed = [this](const std::string& address, const QImage& pixels) {
        Grid->thumbnails().adopt(address, pixels);
    };
    lumi::Commands* commands = Commands.get();
    Menu = new lumi::ResultMenu(
        {Results->ListView1, Grid->GridView},
        {.view = [commands] { commands->GlimFade6Click(); },
         .download = [commands] { commands->GlimFade4Click(); },
         .visitPage = [commands] { commands->GlimFade5Click(); },
         .openPicture = [commands] { commands->OpenPictureClick(); },
         .copyAddresses = [commands] { commands->CopyAddresses(); },
         .copyPicture = [commands] { commands->CopyPicture(); },
         .loadThumbnail =
             [this]() -> std::function<void()> {
                 const int row = Results->currentRow();
                 if (row < 0) return {};
                 const std::string key = Engine->FoundList[size_t(row)];
                 const QImage* image = nullptr;
                 std::string reason;
                 if (Grid->thumbnails().state(key, &image, &reason) !=
                     lumi::GridThumbnails::State::Large)
                     return {};
                 return [this, key] { Grid->thumbnails().loadAnyway(key); };
             },
         .sortBy =
             [this](int column) {
                 QHeaderView* header = Results->ListView1->header();
                 const bool again = header->sortIndicatorSection() == column &&
                                    header->sortIndicatorOrder() == Qt::AscendingOrder;
                 Results->ListView1->sortByColumn(column, again ? Qt::DescendingOrder
                                                                : Qt::AscendingOrder);
             }},
        this);
    const auto dragged = [this]() -> QMimeData* {
        if (!Engine) return nullptr;
        std::vector<std::string> addresses;
        for (size_t row : Results->targetRows())
            addresses.push_back(Engine->FoundList[row]);
        return addresses.empty() ? nullptr : lumi::addressesData(addresses);
    };
    static_cast<lumi::ResultTree*>(Results->ListView1)->OnDrag = dragged;
    Grid->GridView->OnDrag = dragged;
    // The results' own keys work while the focus is in them.
    const auto inResults = [this](QKeySequence keys, std::function<void()> run) {
        auto* key = new QShortcut(keys, Results->ListFrame);
        key->setContext(Qt::WidgetWithChildrenShortcut);
        QObject::connect(key, &QShortcut::activated, this, std::move(run));
    };
    inResults(QKeySequence(Qt::CTRL | Qt::Key_C), [commands] { commands->CopyAddresses(); });
    inResults(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), [commands] { commands->CopyPicture(); });
    const auto clearPicks = [this] { Results->ListView1->selectionModel()->clearSelection(); };
    inResults(QKeySequence(Qt::Key_Escape), clearPicks);
    inResults(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), clearPicks);
}

void TForm1::alignPanels() {
    const int bodyHeight = std::max(0, height() - BannerBarHeight);
    const int commandWidth = lumi::Commands::PanelWidth;
    Commands->Panel2->setGeometry(0, 0, commandWidth, bodyHeight);
    Panel3->setGeometry(commandWidth, 0, std::max(0, width() - commandWidth), bodyHeight);
    Panel4->setGeometry(0, bodyHeight, width(), BannerBarHeight);
    SponsorCaption->setGeometry(0, SponsorCaption->y(), Panel4->width(), SponsorCaption->height());
    if (filledPanel_) filledPanel_->setGeometry(Panel3->rect());
}

void TForm1::FormCreate() {
    lumi::catchAll("error code : #000A (Create) ", [&] {
        lumi::seedRandomFromClock();
        connectEngine();
        // SettingsFile exists from the constructor on, so even a failing step below leaves
        // the window with its store.
        Viewer->SlideShowTimer->setInterval(
            lumi::slideShowInterval(lumi::storedWait(*SettingsFile)));
    });
}

void TForm1::connectEngine() {
    Connections = std::make_shared<lumi::ConnectionPool>();
    Engine = new lumi::SearchEngine(
        {SettingsFile->FileName(), lumi::searchHostsFromEnvironment(), false, Connections}, this);
    Transfers->setConnectionPool(Connections);
    Grid->thumbnails().fetches().setConnectionPool(Connections);
    Engine->setCheckLinksReader([this] { return Search->CheckBox_CheckLinks->isChecked(); });
    Engine->setRecursiveSearchReader(
        [this] { return Search->CheckBox_RecursiveSearch->isChecked(); });
    Results->attachEngine(Engine);
    Grid->attachEngine(Engine);
    Search->attachEngine(Engine);
    Commands->attachEngine(Engine);
    Status->attachEngine(Engine);
    Viewer->attach(*Engine, *Transfers);
    Transfers->AgentFor = [this](const std::string& address) {
        return Engine->pictureAgent(address);
    };
}

void TForm1::FormShow() {
    setWindowTitle(ProgramTitle);
    restorePlacement();
    Search->Edit1->setFocus();
    Search->CheckBox_CheckLinks->setChecked(
        lumi::readSetting(*SettingsFile, lumi::setting::CheckLinks));
    Search->CheckBox_RecursiveSearch->setChecked(
        lumi::readSetting(*SettingsFile, lumi::setting::RecursiveSearch));
    if (lumi::randomBelow(100) > 95) {
        if (AskYesNo(QStringLiteral("Do you know anyone who also would like Lumisift?")))
            CallBrowser(lumi::tellAFriendLink());
    }
    VersionCheck->Proxy = lumi::proxyFromSettings(*SettingsFile);
    VersionCheck->StartVersionCheck();
}

// The saved bounds are applied even when the window opens maximised, so that restoring it
// brings back the size it had at the last close in the normal state. A position is the
// frame's, as FormClose saves it, but the toolkit takes it so only before the window exists
// on the desktop; setVisible therefore applies the placement first, and this does nothing
// again.
void TForm1::restorePlacement() {
    if (placementRestored_) return;
    placementRestored_ = true;
    const auto placement = SettingsFile->Entries();
    const QSize saved(lumi::readSetting(*placement, lumi::setting::Width),
                      lumi::readSetting(*placement, lumi::setting::Height));
    const QPoint savedAt(lumi::readSetting(*placement, lumi::setting::LeftPos),
                         lumi::readSetting(*placement, lumi::setting::TopPos));
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->geometry());
    const QPoint at = lumi::openingPosition(QRect(savedAt, saved), screens, QPoint(1, 1));
    // The window fits the free area of the screen it opens on, whatever the scale factor
    // made of the saved size; so does its smallest size.
    const QScreen* screen = QGuiApplication::screenAt(at + QPoint(saved.width() / 2, 0));
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    fitMinimumSize(area);
    // The first start (no size saved) opens centred at two thirds of the free area.
    const bool first = saved.width() <= 1 && saved.height() <= 1 && area.isValid();
    const QSize opening = first ? (area.size() * 2 / 3).expandedTo(minimumSize()) : saved;
    const QPoint openingAt =
        first ? area.topLeft() + QPoint((area.width() - opening.width()) / 2,
                                        (area.height() - opening.height()) / 2)
              : at;
    const QRect fitted = lumi::fittedToArea(QRect(openingAt, opening), area, minimumSize());
    resize(fitted.size());
    move(fitted.topLeft());
    if (lumi::readSetting(*placement, lumi::setting::Maximized))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::fitFrameToScreen() {
    const QScreen* shownOn = screen();
    if (!shownOn || isMaximized() || isFullScreen()) return;
    const QRect area = shownOn->availableGeometry();
    const QRect frame = frameGeometry();
    const QSize extra = frame.size() - size();
    if (area.contains(frame) || extra.isEmpty()) return;
    const QRect fitted = lumi::fittedToArea(frame, area);
    resize((fitted.size() - extra).expandedTo(QSize(1, 1)));
    move(fitted.topLeft());
}

void TForm1::fitMinimumSize(const QRect& area) {
    if (!area.isValid()) return;
    setMinimumSize(std::min(FormMinWidth, area.width()), std::min(FormMinHeight, area.height()));
}

void TForm1::FormClose() {
    SettingsFile->WriteBool(Section, "CheckLinks", Search->CheckBox_CheckLinks->isChecked());
    SettingsFile->WriteBool(Section, "RecursiveSearch",
                            Search->CheckBox_RecursiveSearch->isChecked());
    if (isMaximized()) {
        SettingsFile->WriteBool(Section, "Maximized", true);
        return;
    }
    SettingsFile->WriteInteger(Section, "LeftPos", x());
    SettingsFile->WriteInteger(Section, "TopPos", y());
    SettingsFile->WriteInteger(Section, "Width", width());
    SettingsFile->WriteInteger(Section, "Height", height());
    SettingsFile->WriteBool(Section, "Maximized", false);
}

void TForm1::FormResize() {
    lumi::catchAll("error code : #0038 (FormResize)", [&] {
        const auto left = lumi::roundHalfEven(Panel4->width() / 2.0 - AdImage1->width() / 2.0);
        AdImage1->move(static_cast<int>(left), AdImage1->y());
    });
    if (ViewerShown()) Viewer->FitPicture();
}

void TForm1::FormKeyPress(char& key) {
    // Escape leaves the viewer for the result list and forgets the pictures it was showing;
    // other keys go on to the focused control.
    if (key != 27 || !ViewerShown()) return;
    Viewer->Stop();
    ShowPanel(panel_Search);
}

void TForm1::ShowPanel(QWidget* panel) {
    QWidget* viewer = Viewer->panel_Viewer;
    if (panel != panel_Search && panel != viewer) return;
    filledPanel_ = panel;
    QWidget* other = panel == panel_Search ? viewer : panel_Search;
    const bool hadFocus = other->isAncestorOf(QApplication::focusWidget());
    other->hide();
    panel->setGeometry(Panel3->rect());
    panel->raise();
    panel->show();
    if (!hadFocus && QApplication::focusWidget()) return;
    // Back from the viewer, the focus lands on the cell that was viewed last.
    if (panel == viewer)
        viewer->setFocus();
    else
        Commands->refocus();
}

bool TForm1::ViewerShown() const {
    return filledPanel_ == Viewer->panel_Viewer;
}

void TForm1::setVisible(bool visible) {
    if (visible && !isVisible()) lumi::runUnderDefaultHandler([&] { restorePlacement(); });
    QWidget::setVisible(visible);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shownOnce_ || event->spontaneous()) return;
    shownOnce_ = true;
    lumi::runUnderDefaultHandler([&] { FormShow(); });
    // The title bar the desktop adds is known once the window is on it: the whole frame is
    // then kept within the free area.
    QTimer::singleShot(300, this, [this, shownAt = geometry()] {
        // Unless it was moved or sized meanwhile.
        if (geometry() == shownAt) fitFrameToScreen();
    });
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A download still running is aborted the way its own Abort does (which removes its
    // temporaries), but only when the user agrees.
    Tfrm_Download* download = Commands->frm_Download;
    if (download && download->isVisible()) {
        if (!download->confirmAbort()) {
            event->ignore();
            return;
        }
        download->BitBtn1Click();
    }
    lumi::runUnderDefaultHandler([&] { FormClose(); });
    event->accept();
    // The program ends with this window: an open diagnostics window must not keep it running.
    if (Form2) Form2->close();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    alignPanels();
    FormResize();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    // A key travels from the focused control up to its parents; preview it only once, at
    // the first of them, and only for this window.
    QWidget* focus = QApplication::focusWidget();
    const bool first = focus ? watched == focus : watched == this;
    if (!first || !(watched == this || isAncestorOf(static_cast<QWidget*>(watched)))) return false;
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    const QByteArray text = keyEvent->text().toLatin1();
    char key = keyEvent->key() == Qt::Key_Escape ? char(27) : text.isEmpty() ? char(0) : text[0];
    if (key == 0) return false;
    lumi::runUnderDefaultHandler([&] { FormKeyPress(key); });
    return key == 0;
}
