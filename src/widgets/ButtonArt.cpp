#include "widgets/ButtonArt.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "base/ErrorReport.h"
#include "widgets/GlimFade.h"

namespace lumi {

namespace {

// One palette for every button: graphite faces with light captions at rest, warm amber
// with dark captions under the mouse, so the highlight reads at a glance on black.
struct Palette {
    QColor top;
    QColor bottom;
    QColor border;
    QColor caption;
};

Palette paletteFor(ButtonFace face) {
    if (face == ButtonFace::Highlight)
        return {QColor(0xFF, 0xC8, 0x4A), QColor(0xE8, 0x8F, 0x0C), QColor(0xFF, 0xE3, 0x9A),
                QColor(0x1E, 0x12, 0x00)};
    return {QColor(0x3A, 0x40, 0x4A), QColor(0x1E, 0x22, 0x28), QColor(0x5A, 0x64, 0x72),
            QColor(0xEE, 0xF1, 0xF5)};
}

const QColor Amber(0xF5, 0xA6, 0x23);
const QColor Backdrop(0, 0, 0);

QFont captionFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QImage blankPicture(QSize size, qreal ratio = 1) {
    QImage image(size * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Backdrop);
    return image;
}

} // namespace

QImage captionButtonPicture(QSize size, const QString& caption, ButtonFace face, qreal ratio) {
    QImage image = blankPicture(size, ratio);
    if (image.isNull()) return image;
    const Palette colours = paletteFor(face);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QRectF faceRect = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = size.height() >= 20 ? 4.0 : 2.5;
    QLinearGradient fill(0, 0, 0, size.height());
    fill.setColorAt(0, colours.top);
    fill.setColorAt(1, colours.bottom);
    painter.setPen(QPen(colours.border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(faceRect, radius, radius);

    // Small buttons get a tighter font so that the caption keeps a margin.
    const int pixelSize = size.height() >= 24 ? 13 : size.height() >= 18 ? 11 : 9;
    painter.setFont(captionFont(pixelSize, true));
    painter.setPen(colours.caption);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter | Qt::TextShowMnemonic, caption);
    return image;
}

QImage logoPicture(ButtonFace face, qreal ratio) {
    const QSize size(99, 83);
    QImage image = blankPicture(size, ratio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const bool lit = face == ButtonFace::Highlight;

    // A lens gathering light: the glow brightens and the rays appear under the mouse.
    const QPointF centre(49.5, 31);
    const qreal lensRadius = 20;
    QRadialGradient glow(centre, 36);
    glow.setColorAt(0, lit ? QColor(0xFF, 0xD2, 0x6A) : QColor(0x4A, 0x3A, 0x1A));
    glow.setColorAt(1, Backdrop);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, 36, 30);

    if (lit) {
        painter.setPen(QPen(QColor(0xFF, 0xE7, 0xA8), 2, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 12; ++i) {
            painter.save();
            painter.translate(centre);
            painter.rotate(i * 30.0);
            painter.drawLine(QPointF(lensRadius + 4, 0), QPointF(lensRadius + 9, 0));
            painter.restore();
        }
    }

    QRadialGradient glass(centre - QPointF(6, 6), lensRadius * 1.4);
    glass.setColorAt(0, lit ? QColor(0xFF, 0xF6, 0xDC) : QColor(0x8A, 0x96, 0xA8));
    glass.setColorAt(1, lit ? Amber : QColor(0x2A, 0x30, 0x3A));
    painter.setBrush(glass);
    painter.setPen(QPen(lit ? QColor(0xFF, 0xF0, 0xC0) : QColor(0xB8, 0xC2, 0xD0), 2.5));
    painter.drawEllipse(centre, lensRadius, lensRadius);

    painter.setFont(captionFont(15, true));
    painter.setPen(lit ? QColor(0xFF, 0xD2, 0x6A) : QColor(0xEE, 0xF1, 0xF5));
    painter.drawText(QRect(0, 58, size.width(), 22), Qt::AlignCenter, QStringLiteral("Lumisift"));
    return image;
}

QImage titlePicture(QSize size, qreal ratio) {
    QImage image = blankPicture(size, ratio);
    if (image.isNull()) return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QFont wordFont = captionFont(24, true);
    painter.setFont(wordFont);
    const QFontMetrics metrics(wordFont);
    const QString first = QStringLiteral("Lumi");
    const QString second = QStringLiteral("sift");
    const int baseline = metrics.ascent() + 1;
    painter.setPen(Amber);
    painter.drawText(0, baseline, first);
    painter.setPen(QColor(0xEE, 0xF1, 0xF5));
    painter.drawText(metrics.horizontalAdvance(first), baseline, second);

    painter.setFont(captionFont(10, false));
    painter.setPen(QColor(0x9A, 0xA4, 0xB2));
    painter.drawText(QRect(1, baseline + 4, size.width() - 1, size.height() - baseline - 4),
                     Qt::AlignLeft | Qt::AlignTop, QStringLiteral("JPEG pictures from the web"));
    return image;
}

void dressCaptionButton(TGlimFade& button, QSize size, const QString& caption) {
    button.setStretchToFit(false);
    const qreal ratio = button.devicePixelRatioF();
    button.setPicFrom(
        GlimPicture::bitmap(captionButtonPicture(size, caption, ButtonFace::Normal, ratio)));
    button.setPicTo(
        GlimPicture::bitmap(captionButtonPicture(size, caption, ButtonFace::Highlight, ratio)));
}

void dressLogoButton(TGlimFade& button) {
    button.setStretchToFit(false);
    const qreal ratio = button.devicePixelRatioF();
    button.setPicFrom(GlimPicture::bitmap(logoPicture(ButtonFace::Normal, ratio)));
    button.setPicTo(GlimPicture::bitmap(logoPicture(ButtonFace::Highlight, ratio)));
}

void fadeOnHover(TGlimFade* button) {
    button->OnMouseEnter = [](TGlimFade* sender) {
        runUnderDefaultHandler([&] { sender->Blend(); });
    };
    button->OnMouseLeave = [](TGlimFade* sender) {
        runUnderDefaultHandler([&] { sender->BlendBack(); });
    };
}

} // namespace lumi
