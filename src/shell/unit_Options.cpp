#include "shell/unit_Options.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "base/ErrorReport.h"
#include "base/Latin1.h"
#include "files/untExtract.h"
#include "shell/Desktop.h"
#include "shell/Main.h"
#include "shell/ServicesPage.h"
#include "shell/SearchBar.h"
#include "shell/ViewerPanel.h"

namespace {

const QSize ClientSize(360, 318);
constexpr int StripTop = 282;
constexpr qreal SmallPointSize = 8;

std::string typed(const QLineEdit* field) {
    return field->text().toLatin1().toStdString();
}

template <class Control> Control* placed(Control* control, QRect where) {
    control->setGeometry(where);
    return control;
}

QLabel* label(QWidget* parent, const QString& text, QPoint at) {
    auto* caption = new QLabel(text, parent);
    caption->move(at);
    caption->adjustSize();
    return caption;
}

QLineEdit* field(QWidget* parent, QRect where) {
    return placed(new QLineEdit(parent), where);
}

// Whether the focus left for another control of the window (not for another window, a
// popup or a message box), the only move a field check follows.
bool movedWithinWindow(const QFocusEvent* event) {
    const Qt::FocusReason reason = event->reason();
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
           reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason ||
           reason == Qt::OtherFocusReason;
}

} // namespace

Tfrm_Options::Tfrm_Options(TForm1& Form1, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      Form1_(Form1) {
    // What the dialog says is always a field to mend: a warning.
    ShowMessage = [this](const QString& message) {
        QMessageBox::warning(this, QStringLiteral("Lumisift"), message);
    };
    setWindowTitle(QStringLiteral("Lumisift - OPTIONS"));
    setFixedSize(ClientSize);
    // A small font, so that the longest caption fits the page width.
    QFont small = font();
    small.setPointSizeF(SmallPointSize);
    setFont(small);

    PageControl1 = placed(new QTabWidget(this), {4, 4, ClientSize.width() - 8, StripTop - 8});
    buildGeneralPage();
    buildProxyPage();
    buildDownloadPage();
    buildSlideShowPage();
    ServicesPage1 = new lumi::ServicesPage;
    PageControl1->addTab(ServicesPage1, QStringLiteral("Services"));
    // Five captions fit the dialog's width only with narrower tabs.
    PageControl1->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 4px 5px; }"));

    BitBtn2 = placed(new QPushButton(QStringLiteral("&OK"), this), {192, StripTop + 4, 78, 27});
    BitBtn2->setDefault(true);
    BitBtn1 = placed(new QPushButton(QStringLiteral("&Cancel"), this), {276, StripTop + 4, 78, 27});
    // Escape rejects a dialog by itself, as the Cancel button does.
    connect(BitBtn2, &QPushButton::clicked, this,
            [this] { lumi::runUnderDefaultHandler([&] { BitBtn2Click(); }); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::reject);
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this, this, &QDialog::reject);

    connect(checkbox_LargerThan, &QCheckBox::toggled, this,
            [this] { lumi::runUnderDefaultHandler([&] { checkbox_LargerThanClick(); }); });
    connect(checkbox_SmallerThan, &QCheckBox::toggled, this,
            [this] { lumi::runUnderDefaultHandler([&] { checkbox_SmallerThanClick(); }); });
    connect(ProxyCheck, &QCheckBox::toggled, this,
            [this] { lumi::runUnderDefaultHandler([&] { ProxyCheckClick(); }); });
    connect(Button1, &QPushButton::clicked, this,
            [this] { lumi::runUnderDefaultHandler([&] { Button1Click(); }); });
    for (QLineEdit* checked : {edit_LargerThan, edit_SmallerThan, edit_Wait, ProxyPortEdit})
        checked->installEventFilter(this);
    // Both size fields start disabled; their check boxes enable them.
    edit_LargerThan->setEnabled(false);
    edit_SmallerThan->setEnabled(false);
}

void Tfrm_Options::buildGeneralPage() {
    TabSheet1 = new QWidget;
    PageControl1->addTab(TabSheet1, QStringLiteral("General"));
    GroupBox1 = placed(new QGroupBox(QStringLiteral("I have a:"), TabSheet1), {2, 6, 344, 76});
    radiobutton_Modem = placed(
        new QRadioButton(QStringLiteral("&Slow Connection (Modem)"), GroupBox1), {14, 24, 300, 20});
    radiobutton_LAN = placed(new QRadioButton(QStringLiteral("&Fast Connection (LAN)"), GroupBox1),
                             {14, 48, 300, 20});

    GroupBox2 =
        placed(new QGroupBox(QStringLiteral("Filter Functions:"), TabSheet1), {2, 90, 344, 132});
    label(GroupBox2, QStringLiteral("Image Files:"), {14, 26});
    checkbox_LargerThan = placed(new QCheckBox(QStringLiteral("Must be &larger than:"), GroupBox2),
                                 {14, 52, 176, 20});
    edit_LargerThan = field(GroupBox2, {196, 50, 70, 24});
    label(GroupBox2, QStringLiteral("kb."), {274, 54});
    checkbox_SmallerThan = placed(
        new QCheckBox(QStringLiteral("Must be s&maller than:"), GroupBox2), {14, 88, 176, 20});
    edit_SmallerThan = field(GroupBox2, {196, 86, 70, 24});
    label(GroupBox2, QStringLiteral("kb."), {274, 90});
}

void Tfrm_Options::buildProxyPage() {
    TabSheet2 = new QWidget;
    PageControl1->addTab(TabSheet2, QStringLiteral("Proxy"));
    GroupBox3 =
        placed(new QGroupBox(QStringLiteral("HTTP Proxy Settings:"), TabSheet2), {2, 6, 344, 216});
    ProxyCheck =
        placed(new QCheckBox(QStringLiteral("&Use Proxy Settings"), GroupBox3), {14, 26, 300, 20});
    const QString captions[] = {QStringLiteral("Server:"), QStringLiteral("Port:"),
                                QStringLiteral("Name:"), QStringLiteral("Pass:")};
    const int widths[] = {230, 70, 170, 170};
    QLineEdit** fields[] = {&ProxyEdit, &ProxyPortEdit, &ProxyNameEdit, &ProxyPassEdit};
    for (int i = 0; i < 4; ++i) {
        const int top = 60 + i * 36;
        label(GroupBox3, captions[i], {14, top + 4});
        *fields[i] = field(GroupBox3, {80, top, widths[i], 24});
    }
    // Shown masked: the options may be opened with someone looking over the shoulder.
    ProxyPassEdit->setEchoMode(QLineEdit::Password);
}

void Tfrm_Options::buildDownloadPage() {
    TabSheet3 = new QWidget;
    PageControl1->addTab(TabSheet3, QStringLiteral("Download"));
    GroupBox4 = placed(new QGroupBox(QStringLiteral("General:"), TabSheet3), {2, 6, 344, 84});
    label(GroupBox4, QStringLiteral("Save Files in:"), {14, 24});
    edit_SavePath = field(GroupBox4, {14, 48, 262, 24});
    // Filled by the chooser only, and drawn so: with the dialog's colour, not a field's.
    edit_SavePath->setReadOnly(true);
    QPalette readOnly = edit_SavePath->palette();
    readOnly.setColor(QPalette::Base, readOnly.color(QPalette::Window));
    edit_SavePath->setPalette(readOnly);
    Button1 = placed(new QPushButton(QStringLiteral(">>"), GroupBox4), {282, 47, 36, 26});
    // ">>" has no letter to underline: its Alt key is named in its tooltip.
    Button1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_B));
    Button1->setToolTip(QStringLiteral("Browse for the folder (Alt+B)"));

    GroupBox5 = placed(new QGroupBox(QStringLiteral("Smart Save"), TabSheet3), {2, 98, 344, 86});
    checkbox_SubDir = placed(
        new QCheckBox(QStringLiteral("Create Sub &Dirs (Named After Search String)"), GroupBox5),
        {10, 26, 330, 20});
    checkbox_NumberedList = placed(
        new QCheckBox(QStringLiteral("&Name Files After Search String (In Numerical Sequence)"),
                      GroupBox5),
        {10, 54, 330, 20});
}

void Tfrm_Options::buildSlideShowPage() {
    TabSheet4 = new QWidget;
    PageControl1->addTab(TabSheet4, QStringLiteral("Slide Show"));
    GroupBox6 = placed(new QGroupBox(QStringLiteral("General:"), TabSheet4), {2, 6, 344, 70});
    label(GroupBox6, QStringLiteral("Wait at least"), {14, 34});
    edit_Wait = field(GroupBox6, {100, 30, 50, 24});
    label(GroupBox6, QStringLiteral("seconds between images."), {158, 34});
}

void Tfrm_Options::FormShow() {
    const lumi::OptionsValues v = lumi::readOptions(*Form1_.SettingsFile);
    checkbox_LargerThan->setChecked(v.largerThanBool);
    checkbox_SmallerThan->setChecked(v.smallerThanBool);
    edit_LargerThan->setText(lumi::latin1(v.largerThan));
    edit_SmallerThan->setText(lumi::latin1(v.smallerThan));
    edit_Wait->setText(lumi::latin1(v.wait));
    checkbox_SubDir->setChecked(v.subDir);
    checkbox_NumberedList->setChecked(v.numberedList);
    edit_SavePath->setText(QFile::decodeName(QByteArray::fromStdString(v.savePath)));
    (v.slowConnection ? radiobutton_Modem : radiobutton_LAN)->setChecked(true);
    ProxyCheck->setChecked(v.useProxy);
    ProxyEdit->setText(lumi::latin1(v.proxyServer));
    ProxyPortEdit->setText(lumi::latin1(v.proxyPort));
    ProxyNameEdit->setText(lumi::latin1(v.proxyName));
    ProxyPassEdit->setText(lumi::latin1(v.proxyPass));
    ProxyCheckClick();
    ServicesPage1->load(*Form1_.SettingsFile);
    focusFirstField();
}

// As if reached with Tab, so that the focus mark shows: the page's first control that takes
// the focus (of radio buttons, the one that is on).
void Tfrm_Options::focusFirstField() {
    for (QWidget* control : PageControl1->currentWidget()->findChildren<QWidget*>()) {
        if (!(control->focusPolicy() & Qt::TabFocus) || !control->isEnabled()) continue;
        if (auto* radio = qobject_cast<QRadioButton*>(control); radio && !radio->isChecked())
            continue;
        control->setFocus(Qt::TabFocusReason);
        // The style draws the mark only after a focus change from the keyboard; the focus
        // set here counts as one however the dialog was opened (Ctrl+O, a click, Enter).
        setAttribute(Qt::WA_KeyboardFocusChange);
        return;
    }
}

void Tfrm_Options::checkbox_LargerThanClick() {
    edit_LargerThan->setEnabled(checkbox_LargerThan->isChecked());
}

void Tfrm_Options::checkbox_SmallerThanClick() {
    edit_SmallerThan->setEnabled(checkbox_SmallerThan->isChecked());
}

void Tfrm_Options::ProxyCheckClick() {
    for (QLineEdit* proxyField : {ProxyEdit, ProxyPortEdit, ProxyNameEdit, ProxyPassEdit})
        proxyField->setEnabled(ProxyCheck->isChecked());
}

void Tfrm_Options::checkNumberField(QLineEdit* checked, lumi::OptionsField field) {
    if (!checked->isEnabled()) return;
    const std::optional<std::string> problem = lumi::optionsFieldProblem(field, typed(checked));
    if (!problem) return;
    if (field == lumi::OptionsField::ProxyPort)
        ShowMessage(lumi::latin1(*problem));
    else
        refocus(checked, lumi::latin1(*problem));
}

void Tfrm_Options::edit_LargerThanExit() {
    checkNumberField(edit_LargerThan, lumi::OptionsField::LargerThan);
}

void Tfrm_Options::edit_SmallerThanExit() {
    checkNumberField(edit_SmallerThan, lumi::OptionsField::SmallerThan);
}

void Tfrm_Options::edit_WaitExit() {
    checkNumberField(edit_Wait, lumi::OptionsField::Wait);
}

void Tfrm_Options::ProxyPortEditExit() {
    checkNumberField(ProxyPortEdit, lumi::OptionsField::ProxyPort);
}

void Tfrm_Options::refocus(QLineEdit* checked, const QString& message) {
    ShowMessage(message);
    for (QWidget* page : {TabSheet1, TabSheet2, TabSheet3, TabSheet4})
        if (page->isAncestorOf(checked)) PageControl1->setCurrentWidget(page);
    checked->setFocus();
}

void Tfrm_Options::Button1Click() {
    if (!ExtractForm) return;
    lumi::centreOverOwner(*ExtractForm, *this);
    ExtractForm->exec();
}

lumi::OptionsValues Tfrm_Options::FieldValues() const {
    lumi::OptionsValues v;
    v.slowConnection = radiobutton_Modem->isChecked();
    v.largerThanBool = checkbox_LargerThan->isChecked();
    v.smallerThanBool = checkbox_SmallerThan->isChecked();
    v.largerThan = typed(edit_LargerThan);
    v.smallerThan = typed(edit_SmallerThan);
    v.wait = typed(edit_Wait);
    v.subDir = checkbox_SubDir->isChecked();
    v.numberedList = checkbox_NumberedList->isChecked();
    v.savePath = QFile::encodeName(edit_SavePath->text()).toStdString();
    v.useProxy = ProxyCheck->isChecked();
    v.proxyServer = typed(ProxyEdit);
    v.proxyPort = typed(ProxyPortEdit);
    v.proxyName = typed(ProxyNameEdit);
    v.proxyPass = typed(ProxyPassEdit);
    return v;
}

void Tfrm_Options::BitBtn2Click() {
    const lumi::OptionsValues values = FieldValues();
    if (const auto bad = lumi::firstBadOptionsField(values)) {
        QLineEdit* fields[] = {edit_SmallerThan, edit_LargerThan, edit_Wait, ProxyPortEdit};
        refocus(fields[static_cast<int>(bad->field)], lumi::latin1(bad->message));
        return;
    }
    if (const QString problem = ServicesPage1->problem(); !problem.isEmpty()) {
        PageControl1->setCurrentWidget(ServicesPage1);
        ShowMessage(problem);
        return;
    }
    // A write the file system refuses is shown; the dialog closes all the same.
    lumi::runUnderDefaultHandler([&] {
        TIniFile& settings = *Form1_.SettingsFile;
        lumi::writeSearchAndDownloadOptions(settings, values);
        Form1_.Viewer->SlideShowTimer->setInterval(
            lumi::slideShowInterval(lumi::storedWait(settings)));
        lumi::writeProxyOptions(settings, values);
        ServicesPage1->save(settings);
        Form1_.Search->showLicenceChoice();
        if (Form1_.AdImage1) {
            const lumi::BannerProxy proxy = lumi::storedBannerProxy(settings);
            Form1_.AdImage1->SetProxy(proxy.host, proxy.port);
        }
    });
    accept();
}

void Tfrm_Options::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) lumi::runUnderDefaultHandler([&] { FormShow(); });
}

bool Tfrm_Options::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::FocusOut || !movedWithinWindow(static_cast<QFocusEvent*>(event)))
        return QDialog::eventFilter(watched, event);
    // The check runs once the focus has settled, so that it may move the focus back; a
    // dialog closed meanwhile checks nothing. A field left by a click on OK or Cancel is not
    // checked: OK checks every field itself (one message per click), Cancel drops the edit.
    const QWidget* next = QApplication::focusWidget(); // already the control taking it
    const bool toButton = static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason &&
                          (next == BitBtn1 || next == BitBtn2);
    QTimer::singleShot(0, this, [this, watched, toButton] {
        if (!isVisible() || toButton) return;
        lumi::runUnderDefaultHandler([&] {
            if (watched == edit_LargerThan) edit_LargerThanExit();
            if (watched == edit_SmallerThan) edit_SmallerThanExit();
            if (watched == edit_Wait) edit_WaitExit();
            if (watched == ProxyPortEdit) ProxyPortEditExit();
        });
    });
    return QDialog::eventFilter(watched, event);
}
