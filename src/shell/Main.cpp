#include "shell/Main.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "base/AppPaths.h"
#include "base/Clock.h"
#include "base/ErrorReport.h"
#include "base/Latin1.h"
#include "base/WindowPlacement.h"
#include "engine/CreditsFile.h"
#include "engine/DownloadBatch.h"
#include "engine/SearchEngine.h"
#include "engine/SlideShow.h"
#include "engine/unitVersionCheck.h"
#include "files/unit_Download.h"
#include "shell/Unit2.h"
#include "shell/unit_About.h"
#include "shell/unit_Options.h"
#include "widgets/ButtonArt.h"
#include "widgets/GlimFade.h"

namespace lumi {

std::string makerHomePage() {
    return "http://" + makerHost() + "/";
}

std::string tellAFriendLink() {
    return "mailto:?subject=Check out Lumisift!&body=The easiest way to find images on the net. "
           "It's freeware! You can download it from " +
           makerHomePage();
}

int slideShowInterval(int32_t waitSeconds) {
    const int64_t ms = int64_t(waitSeconds) * 1000;
    return static_cast<int>(std::clamp<int64_t>(ms, 0, std::numeric_limits<int>::max()));
}

void styleResultColumns(QTreeView& list) {
    if (QAbstractItemModel* model = list.model()) {
        model->setHeaderData(0, Qt::Horizontal, QStringLiteral("Filename:"));
        model->setHeaderData(1, Qt::Horizontal, QStringLiteral("Size:"));
        model->setHeaderData(1, Qt::Horizontal, int(Qt::AlignRight | Qt::AlignVCenter),
                             Qt::TextAlignmentRole);
    }
    list.header()->resizeSection(0, 300);
    list.header()->resizeSection(1, 80);
}

} // namespace lumi

namespace {

constexpr int FormMinWidth = 640;
constexpr int FormMinHeight = 480;
constexpr int CommandPanelWidth = 148;
constexpr int BannerBarHeight = 82;
constexpr int SearchBarHeight = 84;
constexpr int CommandBarHeight = 31;
constexpr int ListStrip = 5;
const QSize CommandPanelButton(130, 27);
const QSize CommandBarButton(118, 25);
const QSize SmallButton(38, 14);
// Before its first showing the viewer panel keeps the size it was designed with.
const QSize ViewerDesignSize(401, 313);

const char* const Section = "Options";

// A black panel whose text is light, as every panel of the window is.
QFrame* blackPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setAutoFillBackground(true);
    QPalette colours = panel->palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, QColor(0xEE, 0xF1, 0xF5));
    panel->setPalette(colours);
    return panel;
}

QLabel* placedLabel(QWidget* parent, const QString& text, QRect where, QColor colour, bool bold) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(where);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, colour);
    label->setPalette(colours);
    QFont font = label->font();
    font.setBold(bold);
    label->setFont(font);
    return label;
}

TGlimFade* captionButton(QWidget* parent, QPoint at, QSize size, const QString& caption) {
    auto* button = new TGlimFade(parent);
    lumi::dressCaptionButton(*button, size, caption);
    button->move(at);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QCheckBox* serviceBox(QWidget* parent, const QString& caption) {
    auto* box = new QCheckBox(caption, parent);
    box->setChecked(true);
    box->hide();
    return box;
}

using lumi::fadeOnHover;

const QColor CaptionGrey(0x9A, 0xA4, 0xB2);
const QColor ValueWhite(0xEE, 0xF1, 0xF5);

} // namespace

TForm1::TForm1(const std::string& settingsFileName, QWidget* parent)
    : QWidget(parent), SettingsFile(std::make_unique<TIniFile>(settingsFileName)) {
    OpenBrowser = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    AskYesNo = [this](const QString& question) {
        return QMessageBox::question(this, QStringLiteral("Lumisift"), question,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    ShowMessage = [this](const QString& message) {
        QMessageBox::information(this, QStringLiteral("Lumisift"), message);
    };

    setMinimumSize(FormMinWidth, FormMinHeight);
    resize(FormMinWidth, FormMinHeight);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    setPalette(colours);

    buildCommandPanel();
    Panel3 = new QWidget(this);
    buildSearchPanel();
    buildViewerPanel();
    buildBannerBar();
    SlideShowTimer = new QTimer(this);
    SlideShowTimer->setSingleShot(true);
    Transfers = new lumi::FileTransfers(SettingsFile->FileName(), this);
    connectCommands();
    connectVersionCheck();

    filledPanel_ = panel_Search;
    alignPanels();
    FormResize();
    // Key preview: the window sees key presses before its controls do.
    qApp->installEventFilter(this);

    FormCreate();
    connectViewer();
}

TForm1::~TForm1() = default;

void TForm1::buildCommandPanel() {
    Panel2 = blackPanel(this);
    Panel2->setMinimumWidth(CommandPanelWidth);

    GlimFade9 = new TGlimFade(Panel2);
    lumi::dressLogoButton(*GlimFade9);
    GlimFade9->move((CommandPanelWidth - GlimFade9->width()) / 2, 8);
    GlimFade9->setCursor(Qt::PointingHandCursor);

    Bevel1 = new QFrame(Panel2);
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Plain);
    QPalette line = Bevel1->palette();
    line.setColor(QPalette::WindowText, QColor(0x5A, 0x64, 0x72));
    Bevel1->setPalette(line);
    Bevel1->setGeometry(10, 100, CommandPanelWidth - 20, 2);

    const int left = (CommandPanelWidth - CommandPanelButton.width()) / 2;
    GlimFade1 = captionButton(Panel2, {left, 114}, CommandPanelButton, QStringLiteral("Options"));
    GlimFade2 = captionButton(Panel2, {left, 154}, CommandPanelButton, QStringLiteral("Web Site"));
    GlimFade10 =
        captionButton(Panel2, {left, 194}, CommandPanelButton, QStringLiteral("Tell a Friend"));
    GlimFade3 = captionButton(Panel2, {left, 234}, CommandPanelButton, QStringLiteral("About"));

    CheckBox1 = serviceBox(Panel2, QStringLiteral("HotBot"));
    CheckBox2 = serviceBox(Panel2, QStringLiteral("Lycos"));
    CheckBox3 = serviceBox(Panel2, QStringLiteral("ScourNet"));
    CheckBox4 = serviceBox(Panel2, QStringLiteral("Lycos Images Direct"));
}

void TForm1::buildSearchPanel() {
    panel_Search = blackPanel(Panel3);
    auto* column = new QVBoxLayout(panel_Search);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    Panel1 = blackPanel(panel_Search);
    Panel1->setFixedHeight(SearchBarHeight);
    Image1 = new QLabel(Panel1);
    Image1->setPixmap(QPixmap::fromImage(lumi::titlePicture({176, 46})));
    Image1->setGeometry(10, 8, 176, 46);

    StatusCaption =
        placedLabel(Panel1, QStringLiteral("Status:"), {196, 8, 66, 16}, CaptionGrey, false);
    Label7 = placedLabel(Panel1, QStringLiteral("Ready"), {266, 8, 84, 16}, ValueWhite, true);
    FoundCaption =
        placedLabel(Panel1, QStringLiteral("Found:"), {196, 25, 66, 16}, CaptionGrey, false);
    Label1 = placedLabel(Panel1, QStringLiteral("0"), {266, 25, 84, 16}, ValueWhite, true);
    ProcessesCaption =
        placedLabel(Panel1, QStringLiteral("Processes:"), {196, 42, 66, 16}, CaptionGrey, false);
    Label2 = placedLabel(Panel1, QStringLiteral("0"), {266, 42, 84, 16}, ValueWhite, true);

    Edit1 = new QLineEdit(Panel1);
    Edit1->setGeometry(10, 58, 270, 20);
    SearchButton = captionButton(Panel1, {288, 61}, SmallButton, QStringLiteral("Search"));
    AbortButton = captionButton(Panel1, {288, 61}, SmallButton, QStringLiteral("Abort"));
    AbortButton->hide();

    CheckBox_CheckLinks = new QCheckBox(QStringLiteral("Check Links"), Panel1);
    CheckBox_CheckLinks->setGeometry(354, 8, 132, 18);
    CheckBox_RecursiveSearch = new QCheckBox(QStringLiteral("Recursive Search"), Panel1);
    CheckBox_RecursiveSearch->setGeometry(354, 28, 132, 18);
    Button1 = new QPushButton(QStringLiteral("More Info"), Panel1);
    Button1->setGeometry(354, 54, 80, 24);
    Button1->hide();
    column->addWidget(Panel1);

    // The result list sits in a black frame of 5-pixel strips.
    ListFrame = blackPanel(panel_Search);
    auto* frameLayout = new QVBoxLayout(ListFrame);
    frameLayout->setContentsMargins(ListStrip, ListStrip, ListStrip, ListStrip);
    ListView1 = new QTreeView(ListFrame);
    // The list keeps the desktop's own colours rather than the black of its frame.
    QPalette desktop = QApplication::palette(ListView1);
    desktop.setResolveMask(~QPalette::ResolveMask(0));
    ListView1->setPalette(desktop);
    ListView1->setAutoFillBackground(true);
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    ListView1->setModel(new QStandardItemModel(0, 2, ListView1));
    lumi::styleResultColumns(*ListView1);
    frameLayout->addWidget(ListView1);
    column->addWidget(ListFrame, 1);

    Panel8 = blackPanel(panel_Search);
    Panel8->setFixedHeight(CommandBarHeight);
    const int top = (CommandBarHeight - CommandBarButton.height()) / 2;
    const int step = CommandBarButton.width() + 4;
    GlimFade6 = captionButton(Panel8, {4, top}, CommandBarButton, QStringLiteral("View"));
    GlimFade8 =
        captionButton(Panel8, {4 + step, top}, CommandBarButton, QStringLiteral("Slide Show"));
    GlimFade4 =
        captionButton(Panel8, {4 + 2 * step, top}, CommandBarButton, QStringLiteral("Download"));
    GlimFade5 =
        captionButton(Panel8, {4 + 3 * step, top}, CommandBarButton, QStringLiteral("Visit"));
    column->addWidget(Panel8);
}

void TForm1::buildViewerPanel() {
    panel_Viewer = blackPanel(Panel3);
    panel_Viewer->resize(ViewerDesignSize);
    ViewImage = new QLabel(panel_Viewer);
    ViewImage->setAlignment(Qt::AlignCenter);
    ViewImage->setGeometry(panel_Viewer->rect());
    panel_Viewer->hide();
}

void TForm1::buildBannerBar() {
    Panel4 = blackPanel(this);
    SponsorCaption = placedLabel(Panel4, QStringLiteral("Please visit our sponsor:"),
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

void TForm1::connectCommands() {
    for (TGlimFade* button : {GlimFade1, GlimFade2, GlimFade3, GlimFade4, GlimFade5, GlimFade6,
                              GlimFade8, GlimFade10, SearchButton, AbortButton})
        fadeOnHover(button);
    // The command bar's buttons change at once rather than fading.
    for (TGlimFade* button : {GlimFade4, GlimFade5, GlimFade6, GlimFade8})
        button->setBlendRate(1);

    GlimFade9->OnMouseEnter = [](TGlimFade* sender) {
        lumi::runUnderDefaultHandler([&] {
            sender->setDisolvRate(500);
            sender->Dissolve();
        });
    };
    GlimFade9->OnMouseLeave = [](TGlimFade* sender) {
        lumi::runUnderDefaultHandler([&] { sender->DissolveBack(); });
    };

    GlimFade9->OnClick = [this](TGlimFade*) { GlimFade9Click(); };
    GlimFade2->OnClick = [this](TGlimFade*) { GlimFade2Click(); };
    GlimFade10->OnClick = [this](TGlimFade*) { GlimFade10Click(); };
    GlimFade4->OnClick = [this](TGlimFade*) { GlimFade4Click(); };
    GlimFade1->OnClick = [this](TGlimFade*) { GlimFade1Click(); };
    GlimFade3->OnClick = [this](TGlimFade*) { GlimFade3Click(); };
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
    VersionCheck->ShowMessage = [this](const std::string& message) {
        ShowMessage(lumi::latin1(message));
    };
}

void TForm1::alignPanels() {
    const int bodyHeight = std::max(0, height() - BannerBarHeight);
    Panel2->setGeometry(0, 0, CommandPanelWidth, bodyHeight);
    Panel3->setGeometry(CommandPanelWidth, 0, std::max(0, width() - CommandPanelWidth), bodyHeight);
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
        SlideShowTimer->setInterval(
            lumi::slideShowInterval(SettingsFile->ReadInteger(Section, "Wait", 10)));
    });
}

void TForm1::FormShow() {
    setWindowTitle(QStringLiteral("Lumisift v1.4"));
    restorePlacement();
    Edit1->setFocus();
    CheckBox_CheckLinks->setChecked(SettingsFile->ReadBool(Section, "CheckLinks", true));
    CheckBox_RecursiveSearch->setChecked(SettingsFile->ReadBool(Section, "RecursiveSearch", true));
    if (lumi::randomBelow(100) > 95) {
        if (AskYesNo(QStringLiteral("Do you know anyone who also would like Lumisift?")))
            CallBrowser(lumi::tellAFriendLink());
    }
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
    resize(SettingsFile->ReadInteger(Section, "Width", 1),
           SettingsFile->ReadInteger(Section, "Height", 1));
    const QPoint saved(SettingsFile->ReadInteger(Section, "LeftPos", 1),
                       SettingsFile->ReadInteger(Section, "TopPos", 1));
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(screen->geometry());
    move(lumi::openingPosition(QRect(saved, size()), screens, QPoint(1, 1)));
    if (SettingsFile->ReadBool(Section, "Maximized", false))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::FormClose() {
    SettingsFile->WriteBool(Section, "CheckLinks", CheckBox_CheckLinks->isChecked());
    SettingsFile->WriteBool(Section, "RecursiveSearch", CheckBox_RecursiveSearch->isChecked());
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
    if (ViewerShown()) FitPicture();
}

void TForm1::FormKeyPress(char& key) {
    // Escape leaves the viewer for the result list and forgets the pictures it was showing;
    // other keys go on to the focused control.
    if (key != 27 || !ViewerShown()) return;
    if (Slides) Slides->Stop();
    ShowPanel(panel_Search);
}

void TForm1::GetFile(const std::string& address, const std::string& target, TransferKind kind) {
    Transfers->GetFile(address, target, kind);
}

void TForm1::openInBrowser(const std::string& target) {
    if (target.size() > lumi::BrowserTargetLimit)
        throw std::length_error("address longer than the browser buffer");
    const QUrl url(lumi::latin1(target), QUrl::TolerantMode);
    if (!url.isValid()) throw std::invalid_argument("not an address");
    if (!OpenBrowser || !OpenBrowser(url)) throw std::runtime_error("the desktop did not open it");
}

void TForm1::CallBrowser(const std::string& target) {
    lumi::catchAll("error code : #0037 (CallBrowser)", [&] { openInBrowser(target); });
}

void TForm1::GlimFade9Click() {
    lumi::runUnderDefaultHandler([&] { CallBrowser(lumi::makerHomePage()); });
}

void TForm1::GlimFade2Click() {
    lumi::runUnderDefaultHandler([&] { CallBrowser(lumi::makerHomePage()); });
}

void TForm1::GlimFade10Click() {
    lumi::runUnderDefaultHandler([&] { CallBrowser(lumi::tellAFriendLink()); });
}

void TForm1::GlimFade4Click() {
    lumi::runUnderDefaultHandler([&] {
        if (!frm_Download || !Engine) return;
        std::vector<std::string> addresses;
        for (size_t row : selectedRows())
            addresses.push_back(Engine->FoundList[row]);

        const lumi::SavePlan plan =
            lumi::planBatch(addresses, lumi::saveOptionsFromSettings(*SettingsFile),
                            Engine->SearchDirName, lumi::fileExistsOnDisk);
        if (plan.missingSaveFolder()) {
            ShowMessage(QString::fromLatin1(lumi::NoSaveFolderMessage));
            GlimFade1Click();
            return;
        }
        for (const lumi::BatchItem& item : plan.items)
            frm_Download->ListBox1->addItem(lumi::latin1(item.name));
        frm_Download->Label2->setText(QString::fromLocal8Bit(plan.folder.c_str()));

        // The batch lives while the window is open; closing it (by the last file or by
        // Abort) stops whatever still runs.
        lumi::DownloadBatch batch(*Transfers, plan.items, lumi::transferLimit(*SettingsFile));
        batch.OnItemDone = [this](const lumi::BatchItem& item) {
            if (item.state == lumi::BatchItem::State::Saved) frm_Download->fileSaved(item.name);
        };
        batch.start();
        frm_Download->exec();
        const std::string creditsProblem = lumi::writeBatchCredits(
            *SettingsFile->Entries(), plan.folder, batch.items(),
            [this](const std::string& address) { return Engine->sourceOfAddress(address); });
        if (!creditsProblem.empty()) ShowMessage(QString::fromLocal8Bit(creditsProblem.c_str()));
    });
}

void TForm1::GlimFade1Click() {
    lumi::runUnderDefaultHandler([&] {
        if (frm_Options) frm_Options->exec();
    });
}

void TForm1::GlimFade3Click() {
    lumi::runUnderDefaultHandler([&] {
        if (frm_About) frm_About->exec();
    });
}

void TForm1::ShowPanel(QWidget* panel) {
    if (panel != panel_Search && panel != panel_Viewer) return;
    filledPanel_ = panel;
    QWidget* other = panel == panel_Search ? static_cast<QWidget*>(panel_Viewer) : panel_Search;
    other->hide();
    panel->setGeometry(Panel3->rect());
    panel->raise();
    panel->show();
}

bool TForm1::ViewerShown() const {
    return filledPanel_ == panel_Viewer;
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
}

void TForm1::closeEvent(QCloseEvent* event) {
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
    // A double click anywhere in the result list views, on a row or not.
    if (event->type() == QEvent::MouseButtonDblClick && ListView1 &&
        watched == ListView1->viewport()) {
        ListView1DblClick();
        return false;
    }
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
