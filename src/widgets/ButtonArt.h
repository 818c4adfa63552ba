#pragma once
// The pictures of the program's image buttons, drawn at start-up: a normal and a highlight
// face for every caption, the logo and the search bar's title, in one palette meant for the
// black panels they sit on.
#include <QImage>
#include <QString>

class TGlimFade;

namespace lumi {

enum class ButtonFace { Normal, Highlight };

// A command button face of the given size with its caption centred on it; a letter after
// "&" is underlined as the button's Alt key. ratio: device pixels to a logical one (the
// picture holds size × ratio pixels, drawn at size).
QImage captionButtonPicture(QSize size, const QString& caption, ButtonFace face, qreal ratio = 1);
// The logo picture of the command panel (99 × 83).
QImage logoPicture(ButtonFace face, qreal ratio = 1);
// The wordmark shown at the left of the search bar.
QImage titlePicture(QSize size, qreal ratio = 1);

// Gives a fading button its two caption faces at their own size (StretchToFit off), as sharp
// as the button's screen.
void dressCaptionButton(TGlimFade& button, QSize size, const QString& caption);
// Gives the logo button its two faces.
void dressLogoButton(TGlimFade& button);
// Fades the button towards its second picture while the mouse is over it, and back.
void fadeOnHover(TGlimFade* button);

} // namespace lumi
