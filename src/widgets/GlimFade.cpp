#include "widgets/GlimFade.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "base/Clock.h"

namespace lumi {

GlimPicture GlimPicture::bitmap(QImage image) {
    return image.isNull() ? GlimPicture() : GlimPicture(Kind::Bitmap, std::move(image), QPicture());
}

GlimPicture GlimPicture::icon(QImage image) {
    return image.isNull() ? GlimPicture() : GlimPicture(Kind::Icon, std::move(image), QPicture());
}

GlimPicture GlimPicture::vector(QPicture drawing) {
    return drawing.isNull() ? GlimPicture() : GlimPicture(Kind::Vector, {}, std::move(drawing));
}

QSize GlimPicture::size() const {
    switch (kind_) {
    case Kind::Bitmap:
    case Kind::Icon:
        // A picture drawn for a high-density screen counts in the screen's logical pixels.
        return image_.deviceIndependentSize().toSize();
    case Kind::Vector:
        return drawing_.boundingRect().size();
    case Kind::Empty:
        break;
    }
    return {0, 0};
}

namespace {

// Every side starts as its colour; pictures with transparent parts show that colour. A side
// holds ratio device pixels to a logical one, so that it is as sharp as the screen.
QImage filledImage(QSize size, QColor fill, qreal ratio = 1) {
    QImage image(size * ratio, GlimImageFormat);
    if (image.isNull()) return image;
    image.setDevicePixelRatio(ratio);
    image.fill(fill);
    return image;
}

void drawVector(QPainter& painter, const QPicture& drawing, QRect target) {
    const QRect bounds = drawing.boundingRect();
    if (bounds.isEmpty()) return;
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(double(target.width()) / bounds.width(),
                  double(target.height()) / bounds.height());
    painter.translate(-bounds.topLeft());
    painter.drawPicture(0, 0, drawing);
    painter.restore();
}

// The picture stretched over the whole image; an icon keeps its own size over the colour
// first and that result is stretched.
QImage renderStretchedSide(const GlimPicture& picture, QColor fill, QSize size, qreal ratio) {
    QImage image = filledImage(size, fill, ratio);
    if (image.isNull() || picture.empty()) return image;
    QPainter painter(&image);
    const QRect whole(QPoint(0, 0), size);
    switch (picture.kind()) {
    case GlimPicture::Kind::Vector:
        drawVector(painter, picture.drawing(), whole);
        break;
    case GlimPicture::Kind::Icon: {
        QImage backed = filledImage(picture.size(), fill);
        {
            QPainter iconPainter(&backed);
            iconPainter.drawImage(0, 0, picture.image());
        }
        painter.drawImage(whole, backed);
        break;
    }
    case GlimPicture::Kind::Bitmap:
        painter.drawImage(whole, picture.image());
        break;
    case GlimPicture::Kind::Empty:
        break;
    }
    return image;
}

// The picture at its own size at the top-left corner.
QImage renderUnscaledSide(const GlimPicture& picture, QColor fill, QSize size, qreal ratio) {
    QImage image = filledImage(size, fill, ratio);
    if (image.isNull() || picture.empty()) return image;
    QPainter painter(&image);
    if (picture.kind() == GlimPicture::Kind::Vector)
        drawVector(painter, picture.drawing(), QRect(QPoint(0, 0), picture.size()));
    else
        painter.drawImage(QRect(QPoint(0, 0), picture.size()), picture.image());
    return image;
}

constexpr uint32_t LaneMask = 0x00FF00FFu;

} // namespace

bool blendStep(QImage& display, const QImage& work, const QImage& target, int weight) {
    if (display.format() != GlimImageFormat || work.format() != GlimImageFormat ||
        target.format() != GlimImageFormat || display.size() != work.size() ||
        display.size() != target.size() || weight < 0 || weight > 32)
        return false;
    // Rows are padded to 4 bytes, so the buffer is a whole number of 32-bit words.
    const size_t words = static_cast<size_t>(display.sizeInBytes()) / 4;
    uchar* out = display.bits();
    const uchar* from = work.constBits();
    const uchar* to = target.constBits();
    const uint32_t keep = static_cast<uint32_t>(32 - weight);
    const uint32_t take = static_cast<uint32_t>(weight);
    for (size_t i = 0; i < words; ++i) {
        uint32_t a;
        uint32_t b;
        std::memcpy(&a, from + i * 4, 4);
        std::memcpy(&b, to + i * 4, 4);
        // Each lane holds at most 255 × 32 = 8160, so the two lanes of a word never meet.
        const uint32_t even = (((a & LaneMask) * keep + (b & LaneMask) * take) >> 5) & LaneMask;
        const uint32_t odd =
            ((((a >> 8) & LaneMask) * keep + ((b >> 8) & LaneMask) * take) >> 5) & LaneMask;
        const uint32_t mixed = even | (odd << 8);
        std::memcpy(out + i * 4, &mixed, 4);
    }
    return true;
}

PixelList shuffledPixelList(int width, int height) {
    PixelList list;
    if (width <= 0 || height <= 0) return list;
    list.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t row = 0; row < height; ++row)
        for (int32_t column = 0; column < width; ++column)
            list.push_back({row, column});
    seedRandomFromClock();
    const auto n = static_cast<int32_t>(list.size());
    for (int32_t j = 0; j < n; ++j)
        std::swap(list[j], list[randomBelow(n)]);
    return list;
}

void dissolveStep(QImage& display, const QImage& target, const PixelList& list, size_t first,
                  size_t count) {
    if (display.format() != GlimImageFormat || target.format() != GlimImageFormat) return;
    const int width = std::min(display.width(), target.width());
    const int height = std::min(display.height(), target.height());
    const size_t end = std::min(list.size(), first + count);
    for (size_t i = first; i < end; ++i) {
        const PixelPos pixel = list[i];
        if (pixel.row < 0 || pixel.row >= height || pixel.column < 0 || pixel.column >= width)
            continue;
        std::memcpy(display.scanLine(pixel.row) + pixel.column * 3,
                    target.constScanLine(pixel.row) + pixel.column * 3, 3);
    }
}

} // namespace lumi

namespace {
constexpr int NewControlSize = 75;
constexpr int MinBlendRate = 1;
constexpr int MaxBlendRate = 255;
constexpr const char* BlendRateError = "BlendRate must be between 0 and 256";
constexpr const char* DisolvRateError = "DisolvRate cannot be > Width * Height!";
} // namespace

TGlimFade::TGlimFade(QWidget* parent) : QWidget(parent) {
    // Opaque: the display image always covers the whole control.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // Tab reaches the button; a mouse click does not take the focus, so the mouse sees the
    // button as it always did.
    setFocusPolicy(Qt::TabFocus);
    resize(NewControlSize, NewControlSize);
    Reset();
}

TGlimFade::~TGlimFade() = default;

void TGlimFade::setPicFrom(const lumi::GlimPicture& picture) {
    picFrom_ = picture;
    pictureChanged();
}

void TGlimFade::setPicTo(const lumi::GlimPicture& picture) {
    picTo_ = picture;
    pictureChanged();
}

void TGlimFade::pictureChanged() {
    if (swapped_) return;
    Reset();
    update();
}

void TGlimFade::setColorFrom(QColor color) {
    if (color == colorFrom_) return;
    colorFrom_ = color;
    Reset();
    update();
}

void TGlimFade::setColorTo(QColor color) {
    if (color == colorTo_) return;
    colorTo_ = color;
    Reset();
    update();
}

void TGlimFade::setDisolvRate(int rate) {
    disolvRate_ = rate;
    if (disolvRate_ <= 0) disolvRate_ = 1;
    const int64_t pixels = int64_t(width()) * int64_t(height());
    if (disolvRate_ > pixels) disolvRate_ = static_cast<int>(pixels);
}

void TGlimFade::setBlendRate(int rate) {
    blendRate_ = rate;
    if (blendRate_ <= 0) blendRate_ = MinBlendRate;
    if (blendRate_ > MaxBlendRate) blendRate_ = MaxBlendRate;
}

void TGlimFade::setStretchToFit(bool stretch) {
    if (stretch == stretchToFit_) return;
    stretchToFit_ = stretch;
    Reset();
    update();
}

void TGlimFade::Reset() {
    if (swapped_) {
        std::swap(colorFrom_, colorTo_);
        std::swap(picFrom_, picTo_);
        swapped_ = false;
        stretchToFit_ = savedStretchToFit_;
    }
    // Resizing below sends a resize event that would render again; this pass covers it.
    resetting_ = true;
    const qreal ratio = devicePixelRatioF();
    if (stretchToFit_) {
        display_ = lumi::renderStretchedSide(picFrom_, colorFrom_, size(), ratio);
        target_ = lumi::renderStretchedSide(picTo_, colorTo_, size(), ratio);
    } else if (!picFrom_.empty()) {
        resize(picFrom_.size());
        display_ = lumi::renderUnscaledSide(picFrom_, colorFrom_, size(), ratio);
        target_ = lumi::renderStretchedSide(picTo_, colorTo_, size(), ratio);
    } else if (!picTo_.empty()) {
        resize(picTo_.size());
        display_ = lumi::renderStretchedSide(picFrom_, colorFrom_, size(), ratio);
        target_ = lumi::renderUnscaledSide(picTo_, colorTo_, size(), ratio);
    } else {
        display_ = lumi::renderStretchedSide(picFrom_, colorFrom_, size(), ratio);
        target_ = lumi::renderStretchedSide(picTo_, colorTo_, size(), ratio);
    }
    resetting_ = false;
    work_ = QImage(display_.size(), lumi::GlimImageFormat);
    work_.setDevicePixelRatio(display_.devicePixelRatio());
    update();
    fire(OnReset);
}

void TGlimFade::swapSides() {
    savedStretchToFit_ = stretchToFit_;
    stretchToFit_ = true;
    std::swap(colorFrom_, colorTo_);
    std::swap(picFrom_, picTo_);
    Reset();
    swapped_ = true;
}

void TGlimFade::Blend() {
    Reset();
    if (blendRate_ < MinBlendRate) throw EGlimFade(BlendRateError);
    fire(OnBegin);
    work_ = display_.copy();
    if (!runBlendSteps()) return;
    if (!reverseAfterForward(true)) return;
    fire(OnEnd);
}

void TGlimFade::BlendBack() {
    swapSides();
    work_ = display_.copy();
    if (!runBlendSteps()) return;
    Reset();
}

void TGlimFade::Dissolve() {
    Reset();
    size_t perStep = 0;
    const lumi::PixelList list = checkedPixelList(perStep);
    fire(OnBegin);
    if (!runDissolveSteps(list, perStep)) return;
    if (!reverseAfterForward(false)) return;
    fire(OnEnd);
}

void TGlimFade::DissolveBack() {
    swapSides();
    size_t perStep = 0;
    lumi::PixelList list;
    try {
        list = checkedPixelList(perStep);
    } catch (const EGlimFade&) {
        // Leave the control in its normal state rather than with its sides exchanged.
        Reset();
        throw;
    }
    if (!runDissolveSteps(list, perStep)) return;
    Reset();
}

lumi::PixelList TGlimFade::checkedPixelList(size_t& perStep) const {
    lumi::PixelList list = lumi::shuffledPixelList(display_.width(), display_.height());
    perStep = disolvRate_ > 0 ? list.size() / static_cast<size_t>(disolvRate_) : 0;
    if (perStep < 1) throw EGlimFade(DisolvRateError);
    return list;
}

bool TGlimFade::runBlendSteps() {
    for (int step = 0; step <= blendRate_; ++step) {
        const int weight = step * 32 / blendRate_;
        if (weight != 0) lumi::blendStep(display_, work_, target_, weight);
        if (!afterStep()) return false;
    }
    return true;
}

bool TGlimFade::runDissolveSteps(const lumi::PixelList& list, size_t perStep) {
    const QSize size = display_.size();
    const size_t fullSteps = list.size() / perStep;
    size_t next = 0;
    for (size_t step = 0; step < fullSteps; ++step, next += perStep) {
        // A nested effect (ProcessMsgs) may have resized the images under the list.
        if (display_.size() != size || target_.size() != size) return true;
        lumi::dissolveStep(display_, target_, list, next, perStep);
        if (!afterStep()) return false;
    }
    // The remainder is only shown: no events are handled between it and the effect's end.
    lumi::dissolveStep(display_, target_, list, next, list.size() - next);
    repaintNow();
    return true;
}

bool TGlimFade::afterStep() {
    repaintNow();
    if (!processMsgs_) return true;
    QPointer<TGlimFade> self(this);
    QCoreApplication::processEvents();
    return !self.isNull();
}

bool TGlimFade::reverseAfterForward(bool wasBlend) {
    if (!autoReverse_) return true;
    QPointer<TGlimFade> self(this);
    // The pause holds the thread like the effect itself; with ProcessMsgs events go on.
    QElapsedTimer pause;
    pause.start();
    const qint64 pauseMs = int64_t(std::max(swapDelay_, 0)) * 1000;
    while (pause.elapsed() < pauseMs) {
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::min<qint64>(10, pauseMs - pause.elapsed())));
        if (processMsgs_) QCoreApplication::processEvents();
        if (self.isNull()) return false;
    }
    const bool dissolveBack = wasBlend == swapOnReverse_;
    if (dissolveBack)
        DissolveBack();
    else
        BlendBack();
    return !self.isNull();
}

void TGlimFade::fire(const TNotifyEvent& event) {
    if (event) event(this);
}

void TGlimFade::repaintNow() {
    repaint();
}

void TGlimFade::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // A disabled button is drawn faded, as its command cannot run now.
    if (!isEnabled()) painter.setOpacity(0.35);
    painter.drawImage(0, 0, display_);
    if (!hasFocus()) return;
    // The focus mark: a dotted frame just inside the edge, light on the dark faces.
    QPen pen(QColor(0xEE, 0xF1, 0xF5), 1, Qt::DotLine);
    painter.setPen(pen);
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
}

void TGlimFade::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!resetting_) Reset();
}

void TGlimFade::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (!resetting_) Reset();
}

void TGlimFade::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    fire(OnMouseEnter);
}

void TGlimFade::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    fire(OnMouseLeave);
}

void TGlimFade::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QWidget::mousePressEvent(event);
}

void TGlimFade::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        if (!event->isAutoRepeat()) fire(OnClick);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TGlimFade::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TGlimFade::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void TGlimFade::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QWidget::mouseReleaseEvent(event);
    if (click) fire(OnClick);
}
