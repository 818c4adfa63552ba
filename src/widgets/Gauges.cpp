#include "widgets/Gauges.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include <QPainter>

namespace {

constexpr int32_t LowestMinimum = -std::numeric_limits<int32_t>::max();
constexpr int32_t HighestMaximum = std::numeric_limits<int32_t>::max();

[[noreturn]] void raiseRange(int64_t low, int64_t high) {
    throw lumi::GaugeRangeError("Value must be between " + std::to_string(low) + " and " +
                                std::to_string(high));
}

} // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    resize(100, 100);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int32_t TGauge::PercentDone() const {
    const int64_t range = int64_t(maxValue_) - minValue_;
    if (range == 0) return 0;
    return static_cast<int32_t>((int64_t(progress_) - minValue_) * 100 / range);
}

void TGauge::setMinValue(int32_t value) {
    if (value == minValue_) return;
    if (value > maxValue_ && !loading_) raiseRange(LowestMinimum, int64_t(maxValue_) - 1);
    minValue_ = value;
    if (progress_ < value) progress_ = value;
    update();
}

void TGauge::setMaxValue(int32_t value) {
    if (value == maxValue_) return;
    if (value < minValue_ && !loading_) raiseRange(int64_t(minValue_) + 1, HighestMaximum);
    maxValue_ = value;
    if (progress_ > value) progress_ = value;
    update();
}

void TGauge::setProgress(int32_t value) {
    const int32_t before = PercentDone();
    progress_ = std::clamp(value, minValue_, std::max(minValue_, maxValue_));
    if (PercentDone() != before) update();
}

void TGauge::AddProgress(int32_t value) {
    setProgress(static_cast<int32_t>(
        std::clamp<int64_t>(int64_t(progress_) + value, LowestMinimum - 1LL, HighestMaximum)));
}

void TGauge::setKind(TGaugeKind kind) {
    if (kind == kind_) return;
    kind_ = kind;
    update();
}

void TGauge::setShowText(bool show) {
    if (show == showText_) return;
    showText_ = show;
    update();
}

void TGauge::setBorderStyle(TBorderStyle style) {
    if (style == borderStyle_) return;
    borderStyle_ = style;
    update();
}

void TGauge::setForeColor(const QColor& colour) {
    if (colour == foreColor_) return;
    foreColor_ = colour;
    update();
}

void TGauge::setBackColor(const QColor& colour) {
    if (colour == backColor_) return;
    backColor_ = colour;
    update();
}

QImage TGauge::paintedImage() const {
    // As many pixels as the screen shows for the control, drawn in its logical ones.
    const qreal ratio = devicePixelRatioF();
    const QSize size(std::max(1, width()), std::max(1, height()));
    QImage image(size * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(backColor_);
    QRect area(QPoint(0, 0), size);
    if (borderStyle_ == bsSingle) {
        QPainter border(&image);
        border.setPen(Qt::black);
        border.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
    }
    // Everything inside stays one pixel clear of the border.
    area.adjust(1, 1, -1, -1);
    if (area.isEmpty()) return image;

    paintBackground(image, area);
    if (kind_ == gkPie) paintPie(image, area);
    if (kind_ == gkNeedle) paintNeedle(image, area);
    if (showText_) paintPercentText(image, area);
    return image;
}

void TGauge::paintBackground(QImage& image, const QRect& area) const {
    QPainter painter(&image);
    painter.fillRect(area, backColor_);
    const double share = PercentDone() * 0.01;
    if (kind_ == gkHorizontalBar) {
        const int filled = std::min(area.width(), static_cast<int>(share * area.width()));
        if (filled >= 1) painter.fillRect(area.x(), area.y(), filled, area.height(), foreColor_);
    } else if (kind_ == gkVerticalBar) {
        const int filled = std::min(area.height(), static_cast<int>(share * area.height()));
        if (filled >= 1)
            painter.fillRect(area.x(), area.bottom() + 1 - filled, area.width(), filled,
                             foreColor_);
    }
}

void TGauge::paintPie(QImage& image, const QRect& area) const {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(foreColor_);
    painter.setBrush(backColor_);
    const QRectF oval = QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawEllipse(oval);
    if (PercentDone() > 0) {
        painter.setBrush(foreColor_);
        // From the top, clockwise; Qt counts sixteenths of a degree counter-clockwise.
        painter.drawPie(oval, 90 * 16, -PercentDone() * 360 * 16 / 100);
    }
}

void TGauge::paintNeedle(QImage& image, const QRect& area) const {
    QPainter painter(&image);
    painter.setPen(foreColor_);
    // The upper half of an oval as high as the area, its base on the area's bottom row.
    const QRect oval(area.x(), area.y(), area.width(), 2 * area.height() - 1);
    painter.drawChord(oval, 0, 180 * 16);
    if (PercentDone() <= 0) return;
    const QPoint centre(area.x() + area.width() / 2, area.bottom());
    // From the left end of the base (0 %) over the top (50 %) to the right end (100 %).
    const double angle = std::numbers::pi * (1.0 - PercentDone() / 100.0);
    const QPoint rim(
        centre.x() + static_cast<int>(std::lround(std::cos(angle) * (area.width() / 2))),
        centre.y() - static_cast<int>(std::lround(std::sin(angle) * (area.height() - 1))));
    painter.drawLine(centre, rim);
}

void TGauge::paintPercentText(QImage& image, const QRect& area) const {
    // White text on black, combined by exclusive-or: it inverts whatever lies beneath, so it
    // stands out over the filled and the empty part alike.
    QImage text(image.size(), QImage::Format_RGB32);
    text.setDevicePixelRatio(image.devicePixelRatio());
    text.fill(Qt::black);
    {
        QPainter writer(&text);
        // Plain white pixels, so that each one inverts exactly what lies beneath it.
        QFont plain = font();
        plain.setStyleStrategy(QFont::NoAntialias);
        writer.setFont(plain);
        writer.setPen(Qt::white);
        writer.drawText(area, Qt::AlignCenter, QStringLiteral("%1%").arg(PercentDone()));
    }
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawImage(0, 0, text);
}

void TGauge::paintEvent(QPaintEvent*) {
    QPainter screen(this);
    screen.drawImage(0, 0, paintedImage());
}
