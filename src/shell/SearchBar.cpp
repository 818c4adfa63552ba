// TForm1's search bar and results list: the window shows what the engine keeps (status,
// counters, which of Search/Abort is up, the rows) and hands it the user's input.
#include "shell/Main.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include "analysis/UrlUtils.h"
#include "core/ErrorReport.h"
#include "core/SearchEngine.h"
#include "shell/Unit2.h"
#include "widgets/GlimFade.h"

namespace {

QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string phraseOf(const QLineEdit& edit) {
    const QByteArray bytes = edit.text().toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace

void TForm1::connectEngine() {
    Engine = new lumi::SearchEngine(
        {SettingsFile->FileName(), lumi::searchHostsFromEnvironment(), false}, this);
    Engine->setCheckLinksReader([this] { return CheckBox_CheckLinks->isChecked(); });
    Engine->setRecursiveSearchReader([this] { return CheckBox_RecursiveSearch->isChecked(); });
    QObject::connect(Engine, &lumi::SearchEngine::displayChanged, this,
                     [this] { showEngineState(); });

    ListView1->setModel(&Engine->results());
    lumi::styleResultColumns(*ListView1);
    QObject::connect(&Engine->results(), &lumi::ResultsModel::repaintSuspended, ListView1,
                     [this](bool suspended) { ListView1->setUpdatesEnabled(!suspended); });

    SearchButton->OnClick = [this](TGlimFade*) { SearchButtonClick(); };
    AbortButton->OnClick = [this](TGlimFade*) { AbortButtonClick(); };
    QObject::connect(Edit1, &QLineEdit::returnPressed, this, [this] {
        char key = 13;
        Edit1KeyPress(key);
    });
    GlimFade5->OnClick = [this](TGlimFade*) { GlimFade5Click(); };
    QObject::connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    showEngineState();
}

void TForm1::showEngineState() {
    const lumi::SearchDisplay& shown = Engine->display();
    Label7->setText(latin1(shown.statusText));
    Label7->setVisible(shown.statusVisible);
    Label1->setText(latin1(shown.foundText));
    Label2->setText(latin1(shown.processesText));
    AbortButton->setVisible(shown.abortButtonVisible);
    SearchButton->setVisible(!shown.abortButtonVisible);
}

void TForm1::SearchButtonClick() {
    if (Engine) Engine->SearchButtonClick(phraseOf(*Edit1));
}

void TForm1::AbortButtonClick() {
    if (Engine) Engine->AbortButtonClick();
}

void TForm1::Edit1KeyPress(char& key) {
    if (Engine) Engine->Edit1KeyPress(key, phraseOf(*Edit1));
}

void TForm1::GlimFade5Click() {
    lumi::catchAll("error code : #0045 (Button3Click)", [&] {
        const std::vector<size_t> rows = selectedRows();
        if (rows.empty()) {
            ShowMessage(QStringLiteral("Please select a file first!"));
            return;
        }
        CallBrowser(ExtractPageLinkFromURL(Engine->FoundList[rows.front()]));
    });
}

void TForm1::Button1Click() {
    lumi::runUnderDefaultHandler([&] {
        if (Form2) Form2->show();
    });
}
