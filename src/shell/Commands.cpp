#include "shell/Commands.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QTabWidget>

#include "base/ConfiguredHosts.h"
#include "base/ErrorReport.h"
#include "base/IniFiles.h"
#include "engine/CreditsFile.h"
#include "engine/DownloadBatch.h"
#include "engine/FileTransfers.h"
#include "engine/SearchEngine.h"
#include "files/unit_Download.h"
#include "shell/Desktop.h"
#include "shell/PanelArt.h"
#include "shell/ResultList.h"
#include "shell/ResultMenu.h"
#include "shell/ViewerPanel.h"
#include "shell/unit_About.h"
#include "shell/unit_Options.h"
#include "widgets/ButtonArt.h"
#include "widgets/GlimFade.h"

namespace lumi {

namespace {

const QSize CommandPanelButton(130, 27);
const QSize CommandBarButton(118, 25);

QCheckBox* serviceBox(QWidget* parent, const QString& caption) {
    auto* box = new QCheckBox(caption, parent);
    box->setChecked(true);
    box->hide();
    return box;
}

// The command bar's captions, left to right (View, Slide Show, Download, Visit).
QString barCaption(size_t i) {
    const char* const captions[] = {"&View", "S&lide Show", "&Download", "V&isit"};
    return QString::fromLatin1(captions[i]);
}

} // namespace

Commands::Commands(QWidget* window, QWidget* searchPanel, Targets targets)
    : targets_(targets), window_(window) {
    buildCommandPanel(window);
    buildCommandBar(searchPanel);
    connectButtons();
}

void Commands::attachEngine(SearchEngine* engine) {
    engine_ = engine;
}

void Commands::buildCommandPanel(QWidget* window) {
    Panel2 = blackPanel(window);
    Panel2->setMinimumWidth(PanelWidth);

    GlimFade9 = new TGlimFade(Panel2);
    dressLogoButton(*GlimFade9);
    GlimFade9->move((PanelWidth - GlimFade9->width()) / 2, 8);
    GlimFade9->setCursor(Qt::PointingHandCursor);
    // Web Site below opens the same page from the keyboard.
    GlimFade9->setFocusPolicy(Qt::NoFocus);

    Bevel1 = bevelLine(Panel2, {10, 100, PanelWidth - 20, 2});

    const int left = (PanelWidth - CommandPanelButton.width()) / 2;
    GlimFade1 = captionButton(Panel2, {left, 114}, CommandPanelButton, QStringLiteral("&Options"));
    GlimFade2 = captionButton(Panel2, {left, 154}, CommandPanelButton, QStringLiteral("&Web Site"));
    GlimFade10 =
        captionButton(Panel2, {left, 194}, CommandPanelButton, QStringLiteral("&Tell a Friend"));
    GlimFade3 = captionButton(Panel2, {left, 234}, CommandPanelButton, QStringLiteral("A&bout"));

    CheckBox1 = serviceBox(Panel2, QStringLiteral("HotBot"));
    CheckBox2 = serviceBox(Panel2, QStringLiteral("Lycos"));
    CheckBox3 = serviceBox(Panel2, QStringLiteral("ScourNet"));
    CheckBox4 = serviceBox(Panel2, QStringLiteral("Lycos Images Direct"));
}

void Commands::buildCommandBar(QWidget* searchPanel) {
    Panel8 = blackPanel(searchPanel);
    Panel8->setFixedHeight(BarHeight);
    TGlimFade** const buttons[] = {&GlimFade6, &GlimFade8, &GlimFade4, &GlimFade5};
    for (size_t i = 0; i < std::size(buttons); ++i)
        *buttons[i] = captionButton(Panel8, {}, CommandBarButton, barCaption(i));
    onResize(Panel8, [this] { spreadCommandBar(); });
    spreadCommandBar();
}

// The four buttons share the bar's width in equal parts, never narrower than at the window's
// smallest size; their faces are drawn again at the new size.
void Commands::spreadCommandBar() {
    constexpr int Gap = 4;
    TGlimFade* const order[] = {GlimFade6, GlimFade8, GlimFade4, GlimFade5};
    const int width = std::max(CommandBarButton.width(), (Panel8->width() - 5 * Gap) / 4);
    const QSize size(width, CommandBarButton.height());
    const int top = (BarHeight - size.height()) / 2;
    for (size_t i = 0; i < std::size(order); ++i) {
        if (order[i]->size() != size) dressCaptionButton(*order[i], size, barCaption(i));
        order[i]->move(Gap + static_cast<int>(i) * (width + Gap), top);
    }
}

void Commands::connectButtons() {
    for (TGlimFade* button :
         {GlimFade1, GlimFade2, GlimFade3, GlimFade4, GlimFade5, GlimFade6, GlimFade8, GlimFade10})
        fadeOnHover(button);
    // The command bar's buttons change at once rather than fading.
    for (TGlimFade* button : {GlimFade4, GlimFade5, GlimFade6, GlimFade8})
        button->setBlendRate(1);

    GlimFade9->OnMouseEnter = [](TGlimFade* sender) {
        runUnderDefaultHandler([&] {
            sender->setDisolvRate(500);
            sender->Dissolve();
        });
    };
    GlimFade9->OnMouseLeave = [](TGlimFade* sender) {
        runUnderDefaultHandler([&] { sender->DissolveBack(); });
    };

    GlimFade9->OnClick = [this](TGlimFade*) { GlimFade9Click(); };
    GlimFade2->OnClick = [this](TGlimFade*) { GlimFade2Click(); };
    GlimFade10->OnClick = [this](TGlimFade*) { GlimFade10Click(); };
    GlimFade4->OnClick = [this](TGlimFade*) { GlimFade4Click(); };
    GlimFade1->OnClick = [this](TGlimFade*) { GlimFade1Click(); };
    GlimFade3->OnClick = [this](TGlimFade*) { GlimFade3Click(); };
    GlimFade5->OnClick = [this](TGlimFade*) { GlimFade5Click(); };
    GlimFade6->OnClick = [this](TGlimFade*) { GlimFade6Click(); };
    GlimFade8->OnClick = [this](TGlimFade*) { GlimFade8Click(); };
    targets_.results.OnView = [this] { ListView1DblClick(); };
    // The commands need a row to act on (the slide show two); their keys still say so when
    // there is none.
    targets_.results.OnSelectionChanged = [this] { enableSelectionCommands(); };
    enableSelectionCommands();
    targets_.viewer.OnStep = [this](ViewStep step) { StepView(step); };
    const std::pair<TGlimFade*, const char*> tips[] = {
        {GlimFade6, "View the picked pictures, or the current one (Enter, Ctrl+Enter)"},
        {GlimFade8, "Show the picked pictures one after another (F5)"},
        {GlimFade4, "Save the picked pictures, or the current one, in the save folder (Ctrl+S)"},
        {GlimFade5, "Open the web page the picture came from (Ctrl+B)"},
        {GlimFade1, "Connection, filters, proxy, save folder and services (Ctrl+O)"},
        {GlimFade2, "Open the maker's web site"},
        {GlimFade10, "Write an e-mail recommending Lumisift"},
        {GlimFade3, "About Lumisift (F1)"}};
    for (const auto& [button, tip] : tips)
        button->setToolTip(QString::fromLatin1(tip));
}

void Commands::enableSelectionCommands() {
    const size_t targets = targets_.results.targetRows().size();
    GlimFade6->setEnabled(targets > 0);
    GlimFade4->setEnabled(targets > 0);
    GlimFade5->setEnabled(targets > 0);
    GlimFade8->setEnabled(targets > 1);
}

void Commands::refocus() {
    QAbstractItemView* view = ShownView ? ShownView() : nullptr;
    if (!view || !view->isVisible()) return;
    view->setFocus(Qt::OtherFocusReason);
    if (view->currentIndex().isValid()) view->scrollTo(view->currentIndex());
}

void Commands::keepingFocus(const std::function<void()>& command) {
    QAbstractItemView* view = ShownView ? ShownView() : nullptr;
    QWidget* focus = QApplication::focusWidget();
    const bool fromResults = view && focus && (focus == view || view->isAncestorOf(focus));
    command();
    if (fromResults) refocus();
}

void Commands::GlimFade9Click() {
    runUnderDefaultHandler([&] { targets_.desktop.CallBrowser(makerHomePage()); });
}

void Commands::GlimFade2Click() {
    runUnderDefaultHandler([&] { targets_.desktop.CallBrowser(makerHomePage()); });
}

void Commands::GlimFade10Click() {
    runUnderDefaultHandler([&] { targets_.desktop.CallBrowser(tellAFriendLink()); });
}

void Commands::GlimFade1Click() {
    runUnderDefaultHandler([&] {
        if (!frm_Options) return;
        centreOverOwner(*frm_Options, *window_);
        frm_Options->exec();
    });
}

void Commands::GlimFade3Click() {
    runUnderDefaultHandler([&] {
        if (!frm_About) return;
        centreOverOwner(*frm_About, *window_);
        frm_About->exec();
    });
}

std::vector<std::string> Commands::addressesOf(const std::vector<size_t>& rows) const {
    std::vector<std::string> addresses;
    addresses.reserve(rows.size());
    for (size_t row : rows)
        addresses.push_back(engine_->FoundList[row]);
    return addresses;
}

std::vector<size_t> Commands::selectedRowsOrAsk() {
    std::vector<size_t> rows = targets_.results.targetRows();
    if (rows.empty()) targets_.desktop.ShowMessage(QStringLiteral("Please select a file first!"));
    return rows;
}

void Commands::GlimFade6Click() {
    catchAll("error code : #0046 (GlimFade6Click)", [&] {
        std::vector<size_t> rows;
        keepingFocus([&] { rows = selectedRowsOrAsk(); });
        if (rows.empty()) return;
        // Several picks: the viewer steps through them; else through every row.
        viewOrder_ = rows.size() > 1 ? rows : targets_.results.rowsInViewOrder();
        const auto at = std::find(viewOrder_.begin(), viewOrder_.end(), rows.front());
        viewAt(at == viewOrder_.end() ? 0 : size_t(at - viewOrder_.begin()));
    });
}

void Commands::viewAt(size_t place) {
    if (place >= viewOrder_.size() || !engine_) return;
    viewPlace_ = place;
    const size_t row = viewOrder_[place];
    // The cell of the picture shown becomes the current one, so Escape comes back to it.
    targets_.results.setCurrentRow(row);
    ViewPlace where{placeText(place, viewOrder_.size()),
                    ThumbnailOf ? ThumbnailOf(row) : QImage()};
    targets_.viewer.View(engine_->FoundList[row], where);
}

void Commands::StepView(ViewStep step) {
    if (viewOrder_.empty()) return;
    const size_t last = viewOrder_.size() - 1;
    switch (step) {
    case ViewStep::Next:
        if (viewPlace_ < last) viewAt(viewPlace_ + 1);
        break;
    case ViewStep::Previous:
        if (viewPlace_ > 0) viewAt(viewPlace_ - 1);
        break;
    case ViewStep::First:
        viewAt(0);
        break;
    case ViewStep::Last:
        viewAt(last);
        break;
    }
}

void Commands::ListView1DblClick() {
    GlimFade6Click();
}

void Commands::GlimFade8Click() {
    runUnderDefaultHandler([&] {
        if (!engine_) return;
        const std::vector<size_t> rows = targets_.results.targetRows();
        if (rows.size() < 2) {
            keepingFocus([&] {
                targets_.desktop.ShowMessage(
                    QStringLiteral("You must select at least two files first!"));
            });
            return;
        }
        targets_.viewer.SlideShowOf(addressesOf(rows));
    });
}

void Commands::GlimFade4Click() {
    runUnderDefaultHandler([&] { keepingFocus([&] {
        if (!frm_Download || !engine_) return;
        const std::vector<size_t> rows = selectedRowsOrAsk();
        if (rows.empty()) return;
        const std::vector<std::string> addresses = addressesOf(rows);
        const SavePlan plan = planBatch(addresses, saveOptionsFromSettings(targets_.settings),
                                        engine_->SearchDirName);
        if (plan.missingSaveFolder()) {
            targets_.desktop.ShowMessage(QString::fromLatin1(NoSaveFolderMessage));
            // The options open where the save folder is set; a folder chosen there starts the
            // download without a second press.
            if (!frm_Options) return;
            frm_Options->PageControl1->setCurrentWidget(frm_Options->TabSheet3);
            GlimFade1Click();
            if (frm_Options->result() == QDialog::Accepted &&
                !saveOptionsFromSettings(targets_.settings).savePath.empty())
                GlimFade4Click();
            return;
        }
        if (!plan.writeProblem.empty()) {
            targets_.desktop.ShowMessage(QString::fromLocal8Bit(plan.writeProblem.c_str()));
            return;
        }
        if (OnDownloadStarted) OnDownloadStarted();
        // Names are made from the typed phrase and the addresses: UTF-8, as on disk.
        for (const BatchItem& item : plan.items)
            frm_Download->ListBox1->addItem(QString::fromStdString(item.name));
        frm_Download->Label2->setText(QString::fromLocal8Bit(plan.folder.c_str()));

        // The batch lives while the window is open; closing it (by the last file or by
        // Abort) stops whatever still runs.
        DownloadBatch batch(targets_.transfers, plan.items, batchWidth(targets_.settings));
        batch.OnItemStarted = [this](const BatchItem& item) {
            frm_Download->fileStarted(item.name);
        };
        batch.creditInto(
            creditsJournalFor(*targets_.settings.Entries(), plan.saveFolder),
            [this](const std::string& address) { return engine_->sourceOfAddress(address); });
        batch.OnItemDone = [this, &batch](const BatchItem& item) {
            // Notes first: a window with something to say stays open at the end.
            frm_Download->showNotes(batch.notes());
            if (item.state == BatchItem::State::Saved)
                frm_Download->fileSaved(item.name, item.path.substr(item.path.rfind('/') + 1));
            else
                frm_Download->fileFailed(item.name, item.reason);
        };
        batch.OnStopped = [this, &batch] { frm_Download->batchStopped(batch.notes()); };
        batch.start();
        centreOverOwner(*frm_Download, *window_);
        frm_Download->exec();
        size_t saved = 0;
        for (const BatchItem& item : batch.items())
            saved += item.state == BatchItem::State::Saved;
        if (OnDownloadDone) OnDownloadDone(saved, batch.items().size(), plan.folder);
    }); });
}

void Commands::GlimFade5Click() {
    catchAll("error code : #0045 (Button3Click)", [&] {
        keepingFocus([&] {
            const std::vector<size_t> rows = selectedRowsOrAsk();
            if (rows.empty()) return;
            targets_.desktop.CallBrowser(engine_->visitAddress(rows.front()));
        });
    });
}

void Commands::OpenPictureClick() {
    runUnderDefaultHandler([&] {
        keepingFocus([&] {
            const std::vector<size_t> rows = selectedRowsOrAsk();
            if (!rows.empty()) targets_.desktop.CallBrowser(engine_->FoundList[rows.front()]);
        });
    });
}

void Commands::CopyAddresses() {
    if (!engine_) return;
    const std::vector<size_t> rows = targets_.results.targetRows();
    if (!rows.empty()) QGuiApplication::clipboard()->setMimeData(addressesData(addressesOf(rows)));
}

void Commands::CopyPicture() {
    const int row = targets_.results.currentRow();
    if (!engine_ || row < 0) return;
    const std::string& address = engine_->FoundList[size_t(row)];
    // The viewer's picture when it shows this one, else the cell's thumbnail.
    QImage picture;
    if (targets_.viewer.panel_Viewer->isVisible() && targets_.viewer.ViewImage->isVisible() &&
        !viewOrder_.empty() && viewOrder_[viewPlace_] == size_t(row))
        picture = targets_.viewer.ViewImage->pixmap().toImage();
    if (picture.isNull() && ThumbnailOf) picture = ThumbnailOf(size_t(row));
    QGuiApplication::clipboard()->setMimeData(picture.isNull() ? addressesData({address})
                                                               : pictureData(picture, address));
}

} // namespace lumi
