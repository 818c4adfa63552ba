#include "shell/PanelArt.h"

#include <QFrame>
#include <QLabel>

#include "widgets/ButtonArt.h"
#include "widgets/GlimFade.h"

namespace lumi {

QFrame* blackPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setAutoFillBackground(true);
    QPalette colours = panel->palette();
    colours.setColor(QPalette::Window, Qt::black);
    colours.setColor(QPalette::WindowText, ValueWhite);
    panel->setPalette(colours);
    return panel;
}

QFrame* bevelLine(QWidget* parent, QRect where) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette colours = line->palette();
    colours.setColor(QPalette::WindowText, QColor(0x5A, 0x64, 0x72));
    line->setPalette(colours);
    line->setGeometry(where);
    return line;
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
    dressCaptionButton(*button, size, caption);
    button->move(at);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace lumi
