// TForm1's search bar and results list: the window shows what the engine keeps (status,
// counters, which of Search/Abort is up, the rows) and hands it the user's input.
#include "shell/Main.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QValidator>

#include "analysis/UrlUtils.h"
#include "base/ErrorReport.h"
#include "base/Latin1.h"
#include "engine/SearchEngine.h"
#include "engine/SearchPhrase.h"
#include "shell/Unit2.h"
#include "widgets/GlimFade.h"

namespace {

std::string phraseOf(const QLineEdit& edit) {
    return lumi::phraseFromUnicode(edit.text());
}

// Keeps the phrase box within what a search takes: the box holds at most MaxPhraseLength
// characters, and this refuses an edit whose 8-bit text (character references included)
// would be longer.
class PhraseLengthValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return lumi::phraseFromUnicode(input).size() <= lumi::MaxPhraseLength ? Acceptable
                                                                              : Invalid;
    }
};

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

    Edit1->setMaxLength(static_cast<int>(lumi::MaxPhraseLength));
    Edit1->setValidator(new PhraseLengthValidator(Edit1));
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
    Label7->setText(lumi::latin1(shown.statusText));
    Label7->setVisible(shown.statusVisible);
    Label1->setText(lumi::latin1(shown.foundText));
    Label2->setText(lumi::latin1(shown.processesText));
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
        CallBrowser(Engine->visitAddress(rows.front()));
    });
}

void TForm1::Button1Click() {
    lumi::runUnderDefaultHandler([&] {
        if (Form2) Form2->show();
    });
}
