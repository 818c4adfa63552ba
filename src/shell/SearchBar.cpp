#include "shell/SearchBar.h"

#include <algorithm>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QValidator>

#include "base/ErrorReport.h"
#include "base/Latin1.h"
#include "base/SettingKeys.h"
#include "engine/SearchEngine.h"
#include "engine/SearchPhrase.h"
#include "shell/PanelArt.h"
#include "shell/ServicesPage.h"
#include "widgets/ButtonArt.h"
#include "widgets/GlimFade.h"

namespace lumi {

namespace {

// Search and Abort stand as tall as the phrase box beside them.
const QSize SmallButton(58, 20);
// The bar's width at the window's minimum size; what it gets beyond goes to the phrase box
// and the status values, and the check boxes keep to the right edge.
constexpr int BaseWidth = 492;
// The phrase box and the licence box beside it share this width at the bar's smallest width.
constexpr int PhraseAndLicenceWidth = 270;
// By LicenceFilter, as fillLicenceChoices orders them.
constexpr const char* ShortLicenceNames[] = {"Any licence", "Commercial", "Modify",
                                             "Com.+mod.", "PD/CC0"};

std::string phraseOf(const QLineEdit& edit) {
    return edit.text().toStdString();
}

// Keeps the phrase box within what a search takes: the box holds at most MaxPhraseLength
// characters, and this refuses an edit whose 8-bit text (character references included)
// would be longer.
class PhraseLengthValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return phraseFromUnicode(input).size() <= MaxPhraseLength ? Acceptable : Invalid;
    }
};

} // namespace

SearchBar::SearchBar(QWidget* parent) {
    Panel1 = blackPanel(parent);
    Panel1->setFixedHeight(Height);
    Image1 = new QLabel(Panel1);
    Image1->setPixmap(QPixmap::fromImage(titlePicture({176, 46}, Panel1->devicePixelRatioF())));
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
    combo_Licence = new QComboBox(Panel1);
    combo_Licence->setObjectName(QStringLiteral("combo_Licence"));
    fillLicenceChoices(*combo_Licence);
    // Compact beside the phrase: short names here, the whole ones in the list and tooltip.
    for (int i = 0; i < combo_Licence->count(); ++i) {
        combo_Licence->setItemData(i, combo_Licence->itemText(i), Qt::ToolTipRole);
        combo_Licence->setItemText(i, QString::fromLatin1(ShortLicenceNames[i]));
    }
    combo_Licence->view()->setMinimumWidth(combo_Licence->view()->sizeHintForColumn(0) + 24);
    // As wide as its longest short name needs in the font in use; the phrase box takes the rest.
    const int licenceWidth = std::min(combo_Licence->sizeHint().width(), PhraseAndLicenceWidth / 2);
    phraseWidth_ = PhraseAndLicenceWidth - licenceWidth - 4;
    Edit1->setGeometry(10, 58, phraseWidth_, 20);
    combo_Licence->setGeometry(14 + phraseWidth_, 58, licenceWidth, 20);
    combo_Licence->setToolTip(QStringLiteral("Pictures you may use: by licence"));
    SearchButton = captionButton(Panel1, {286, 58}, SmallButton, QStringLiteral("&Search"));
    AbortButton = captionButton(Panel1, {286, 58}, SmallButton, QStringLiteral("&Abort"));
    AbortButton->hide();

    CheckBox_CheckLinks = new QCheckBox(QStringLiteral("&Check Links"), Panel1);
    CheckBox_CheckLinks->setGeometry(354, 8, 132, 18);
    CheckBox_RecursiveSearch = new QCheckBox(QStringLiteral("&Recursive Search"), Panel1);
    CheckBox_RecursiveSearch->setGeometry(354, 28, 132, 18);
    // The way to the diagnostics window (also Ctrl+D).
    Button1 = new QPushButton(QStringLiteral("&More Info"), Panel1);
    Button1->setGeometry(354, 54, 80, 24);
    Button1->setToolTip(QStringLiteral("The search's clients, queues and services (Ctrl+D)"));
    fadeOnHover(SearchButton);
    fadeOnHover(AbortButton);
    onResize(Panel1, [this] { growToWidth(); });
}

void SearchBar::growToWidth() {
    const int extra = std::max(0, Panel1->width() - BaseWidth);
    Edit1->resize(phraseWidth_ + extra, Edit1->height());
    combo_Licence->move(14 + phraseWidth_ + extra, combo_Licence->y());
    for (QLabel* value : {Label7, Label1, Label2})
        value->resize(84 + extra, value->height());
    for (QWidget* control :
         {static_cast<QWidget*>(SearchButton), static_cast<QWidget*>(AbortButton)})
        control->move(286 + extra, control->y());
    for (QWidget* control :
         {static_cast<QWidget*>(CheckBox_CheckLinks),
          static_cast<QWidget*>(CheckBox_RecursiveSearch), static_cast<QWidget*>(Button1)})
        control->move(354 + extra, control->y());
    if (engine_) showEngineState();
}

void SearchBar::attachEngine(SearchEngine* engine) {
    engine_ = engine;
    QObject::connect(engine, &SearchEngine::displayChanged, Panel1, [this] { showEngineState(); });
    Edit1->setMaxLength(static_cast<int>(MaxPhraseLength));
    Edit1->setValidator(new PhraseLengthValidator(Edit1));
    SearchButton->OnClick = [this](TGlimFade*) { SearchButtonClick(); };
    AbortButton->OnClick = [this](TGlimFade*) { AbortButtonClick(); };
    QObject::connect(Edit1, &QLineEdit::returnPressed, Panel1, [this] {
        char key = 13;
        Edit1KeyPress(key);
    });
    QObject::connect(Button1, &QPushButton::clicked, Panel1, [this] { Button1Click(); });
    showLicenceChoice();
    QObject::connect(combo_Licence, &QComboBox::activated, Panel1, [this](int index) {
        const auto filter = static_cast<LicenceFilter>(combo_Licence->itemData(index).toInt());
        combo_Licence->setToolTip(QString::fromLatin1(licenceFilterLabel(filter)));
        runUnderDefaultHandler([&] {
            engine_->SettingsFile.WriteString(setting::LicenceFilter.section,
                                              setting::LicenceFilter.key,
                                              licenceFilterWord(filter));
        });
    });
    showEngineState();
}

void SearchBar::showLicenceChoice() {
    if (!engine_) return;
    const ServiceChoice choice = readServiceChoice(*engine_->SettingsFile.Entries());
    combo_Licence->setCurrentIndex(combo_Licence->findData(static_cast<int>(choice.licence)));
    combo_Licence->setToolTip(QString::fromLatin1(licenceFilterLabel(choice.licence)));
}

void SearchBar::showEngineState() {
    const SearchDisplay& shown = engine_->display();
    // A long status (the services not reached) is cut to the label, whole in its tooltip.
    const QString status = shownText(shown.statusText);
    Label7->setText(Label7->fontMetrics().elidedText(status, Qt::ElideRight, Label7->width()));
    Label7->setToolTip(status == Label7->text() ? QString() : status);
    Label7->setVisible(shown.statusVisible);
    Label1->setText(latin1(shown.foundText));
    Label2->setText(latin1(shown.processesText));
    // The keyboard focus follows the one of Search and Abort that takes the other's place.
    const bool focusOnButton = SearchButton->hasFocus() || AbortButton->hasFocus();
    AbortButton->setVisible(shown.abortButtonVisible);
    SearchButton->setVisible(!shown.abortButtonVisible);
    if (focusOnButton) (shown.abortButtonVisible ? AbortButton : SearchButton)->setFocus();
}

void SearchBar::SearchButtonClick() {
    if (!engine_) return;
    engine_->SearchButtonClick(phraseOf(*Edit1));
    tellSearchStarted();
}

void SearchBar::tellSearchStarted() {
    if (engine_->Searching && OnSearchStarted) OnSearchStarted(Edit1->text().trimmed());
}

void SearchBar::AbortButtonClick() {
    if (engine_) engine_->AbortButtonClick();
}

void SearchBar::Edit1KeyPress(char& key) {
    if (!engine_) return;
    const bool enter = key == 13;
    engine_->Edit1KeyPress(key, phraseOf(*Edit1));
    if (enter) tellSearchStarted();
}

void SearchBar::Button1Click() {
    runUnderDefaultHandler([&] {
        if (OnMoreInfo) OnMoreInfo();
    });
}

} // namespace lumi
