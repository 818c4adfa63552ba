#include "shell/unit_About.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>

#include "base/ConfiguredHosts.h"
#include "base/ErrorReport.h"
#include "shell/Main.h"
#include "shell/PanelArt.h"
#include "widgets/ButtonArt.h"
#include "widgets/GlimFade.h"

namespace {

const QSize ClientSize(290, 185);
const QSize CloseButtonSize(43, 16);

QLabel* textLabel(QWidget* parent, QRect where, QColor colour) {
    auto* label = new QLabel(parent);
    label->setGeometry(where);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, colour);
    label->setPalette(colours);
    return label;
}

} // namespace

Tfrm_About::Tfrm_About(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("About"));
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), this, this, &QDialog::reject);
    setFixedSize(ClientSize);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::black);
    setPalette(colours);

    Image1 = new QLabel(this);
    Image1->setPixmap(
        QPixmap::fromImage(lumi::logoPicture(lumi::ButtonFace::Normal, Image1->devicePixelRatioF())));
    Image1->setGeometry(8, 8, 99, 83);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->installEventFilter(this);

    label_ProgramName = textLabel(this, {118, 16, 164, 18}, Qt::white);
    QFont nameFont(QStringLiteral("Arial"));
    nameFont.setPixelSize(13);
    nameFont.setBold(true);
    label_ProgramName->setFont(nameFont);
    label_Version = textLabel(this, {118, 36, 164, 16}, Qt::white);
    label_Notice = textLabel(this, {118, 58, 164, 32}, QColor(0x9A, 0xA4, 0xB2));
    label_Notice->setWordWrap(true);
    label_Notice->setText(QStringLiteral("Freeware. Finds JPEG pictures on the web."));
    Bevel1 = lumi::bevelLine(this, {8, 100, ClientSize.width() - 16, 2});

    label_Visit = textLabel(this, {8, 114, 40, 16}, Qt::white);
    label_Visit->setText(QStringLiteral("Visit:"));
    Label_URL = textLabel(this, {50, 114, ClientSize.width() - 58, 16}, QColor(0x3C, 0x8C, 0xFF));
    QFont linkFont = Label_URL->font();
    linkFont.setUnderline(true);
    Label_URL->setFont(linkFont);
    Label_URL->setCursor(Qt::PointingHandCursor);
    Label_URL->installEventFilter(this);
    Bevel2 = lumi::bevelLine(this, {8, 150, ClientSize.width() - 16, 2});

    GlimFade1 = new TGlimFade(this);
    lumi::dressCaptionButton(*GlimFade1, CloseButtonSize, QStringLiteral("OK"));
    GlimFade1->move(ClientSize.width() - CloseButtonSize.width() - 8,
                    ClientSize.height() - CloseButtonSize.height() - 9);
    GlimFade1->setCursor(Qt::PointingHandCursor);
    lumi::fadeOnHover(GlimFade1);
    GlimFade1->OnClick = [this](TGlimFade*) { GlimFade1Click(); };
}

void Tfrm_About::FormShow() {
    label_ProgramName->setText(QStringLiteral("Lumisift"));
    label_Version->setText(QStringLiteral("Version 1.4"));
    Label_URL->setText(QString::fromLatin1(lumi::makerHomePage()));
}

void Tfrm_About::Image1Click() {
    if (CallBrowser) CallBrowser(lumi::makerHomePage());
}

void Tfrm_About::Label_URLClick() {
    if (CallBrowser) CallBrowser(lumi::makerHomePage());
}

void Tfrm_About::GlimFade1Click() {
    close();
}

void Tfrm_About::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    if (QScreen* desktop = screen()) {
        QRect centred(QPoint(), frameGeometry().size());
        centred.moveCenter(desktop->availableGeometry().center());
        move(centred.topLeft());
    }
    lumi::runUnderDefaultHandler([&] { FormShow(); });
    // OK is the box's default: Enter or Space presses it.
    GlimFade1->setFocus();
}

bool Tfrm_About::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return false;
    lumi::runUnderDefaultHandler([&] {
        if (watched == Image1) Image1Click();
        if (watched == Label_URL) Label_URLClick();
    });
    return watched == Image1 || watched == Label_URL;
}
