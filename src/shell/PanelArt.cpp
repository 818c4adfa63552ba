#include "shell/PanelArt.h"

#include <QFrame>
#include <QEvent>
#include <QLabel>
#include <QShortcut>

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
    // The underlined letter of the caption is the button's Alt key.
    QObject::connect(new QShortcut(QKeySequence::mnemonic(caption), button), &QShortcut::activated,
                     button, [button] {
                         if (button->isVisible() && button->isEnabled() && button->OnClick)
                             button->OnClick(button);
                     });
    return button;
}

namespace {

class ResizeWatch : public QObject {
public:
    ResizeWatch(QWidget* widget, std::function<void()> react)
        : QObject(widget), react_(std::move(react)) {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) react_();
        return false;
    }

private:
    std::function<void()> react_;
};

} // namespace

void onResize(QWidget* widget, std::function<void()> react) {
    new ResizeWatch(widget, std::move(react));
}

} // namespace lumi
