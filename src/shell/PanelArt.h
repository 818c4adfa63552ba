#pragma once
// The main window's panels all share one look: black with light text, grey captions beside
// white values, and image buttons that fade. Each part of the window builds its controls with
// these.
#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

class QFrame;
class QLabel;
class QWidget;
class TGlimFade;

namespace lumi {

inline const QColor CaptionGrey(0x9A, 0xA4, 0xB2);
inline const QColor ValueWhite(0xEE, 0xF1, 0xF5);

// A black panel whose text is light, as every panel of the window is.
QFrame* blackPanel(QWidget* parent);
// A thin grey line that parts a panel's sections.
QFrame* bevelLine(QWidget* parent, QRect where);
QLabel* placedLabel(QWidget* parent, const QString& text, QRect where, QColor colour, bool bold);
// A fading button with its caption drawn on it, at `at`, with the pointing-hand cursor; the
// letter after "&" in caption is its Alt key.
TGlimFade* captionButton(QWidget* parent, QPoint at, QSize size, const QString& caption);
// Calls react after every change of widget's size, for parts placed by hand that follow it.
void onResize(QWidget* widget, std::function<void()> react);

} // namespace lumi
