#include "shell/Commands.h"

#include <string>
#include <vector>

#include <QCheckBox>
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

} // namespace

Commands::Commands(QWidget* window, QWidget* searchPanel, Targets targets) : targets_(targets) {
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

void Commands::buildCommandBar(QWidget* searchPanel) {
    Panel8 = blackPanel(searchPanel);
    Panel8->setFixedHeight(BarHeight);
    const int top = (BarHeight - CommandBarButton.height()) / 2;
    const int step = CommandBarButton.width() + 4;
    GlimFade6 = captionButton(Panel8, {4, top}, CommandBarButton, QStringLiteral("View"));
    GlimFade8 =
        captionButton(Panel8, {4 + step, top}, CommandBarButton, QStringLiteral("Slide Show"));
    GlimFade4 =
        captionButton(Panel8, {4 + 2 * step, top}, CommandBarButton, QStringLiteral("Download"));
    GlimFade5 =
        captionButton(Panel8, {4 + 3 * step, top}, CommandBarButton, QStringLiteral("Visit"));
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
        if (frm_Options) frm_Options->exec();
    });
}

void Commands::GlimFade3Click() {
    runUnderDefaultHandler([&] {
        if (frm_About) frm_About->exec();
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
    std::vector<size_t> rows = targets_.results.selectedRows();
    if (rows.empty()) targets_.desktop.ShowMessage(QStringLiteral("Please select a file first!"));
    return rows;
}

void Commands::GlimFade6Click() {
    catchAll("error code : #0046 (GlimFade6Click)", [&] {
        const std::vector<size_t> rows = selectedRowsOrAsk();
        if (rows.empty()) return;
        targets_.viewer.View(engine_->FoundList[rows.front()]);
    });
}

void Commands::ListView1DblClick() {
    GlimFade6Click();
}

void Commands::GlimFade8Click() {
    runUnderDefaultHandler([&] {
        if (!engine_) return;
        const std::vector<size_t> rows = targets_.results.selectedRows();
        if (rows.size() < 2) {
            targets_.desktop.ShowMessage(
                QStringLiteral("You must select at least two files first!"));
            return;
        }
        targets_.viewer.SlideShowOf(addressesOf(rows));
    });
}

void Commands::GlimFade4Click() {
    runUnderDefaultHandler([&] {
        if (!frm_Download || !engine_) return;
        const std::vector<size_t> rows = selectedRowsOrAsk();
        if (rows.empty()) return;
        const std::vector<std::string> addresses = addressesOf(rows);
        const SavePlan plan = planBatch(addresses, saveOptionsFromSettings(targets_.settings),
                                        engine_->SearchDirName);
        if (plan.missingSaveFolder()) {
            targets_.desktop.ShowMessage(QString::fromLatin1(NoSaveFolderMessage));
            // The options open where the save folder is set.
            if (frm_Options) frm_Options->PageControl1->setCurrentWidget(frm_Options->TabSheet3);
            GlimFade1Click();
            return;
        }
        if (!plan.writeProblem.empty()) {
            targets_.desktop.ShowMessage(QString::fromLocal8Bit(plan.writeProblem.c_str()));
            return;
        }
        // Names are made from the typed phrase and the addresses: UTF-8, as on disk.
        for (const BatchItem& item : plan.items)
            frm_Download->ListBox1->addItem(QString::fromStdString(item.name));
        frm_Download->Label2->setText(QString::fromLocal8Bit(plan.folder.c_str()));

        // The batch lives while the window is open; closing it (by the last file or by
        // Abort) stops whatever still runs.
        DownloadBatch batch(targets_.transfers, plan.items, transferLimit(targets_.settings));
        batch.OnItemDone = [this](const BatchItem& item) {
            if (item.state == BatchItem::State::Saved)
                frm_Download->fileSaved(item.name);
            else
                frm_Download->fileFailed(item.name, item.reason);
        };
        batch.start();
        frm_Download->exec();
        const std::string creditsProblem = writeBatchCredits(
            *targets_.settings.Entries(), plan.folder, batch.items(),
            [this](const std::string& address) { return engine_->sourceOfAddress(address); });
        if (!creditsProblem.empty())
            targets_.desktop.ShowMessage(QString::fromLocal8Bit(creditsProblem.c_str()));
    });
}

void Commands::GlimFade5Click() {
    catchAll("error code : #0045 (Button3Click)", [&] {
        const std::vector<size_t> rows = selectedRowsOrAsk();
        if (rows.empty()) return;
        targets_.desktop.CallBrowser(engine_->visitAddress(rows.front()));
    });
}

} // namespace lumi
