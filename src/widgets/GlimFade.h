#pragma once
// TGlimFade: a picture button that shows one of two pictures and changes from one to the
// other by a cross-fade (blend) or a random-pixel dissolve. It owns copies of both pictures
// and three 24-bit off-screen images; it has no native window and paints on its parent.
//
// Property style: read with Name(), write with setName(). Events are public std::function
// members whose first parameter is the sender; an empty function is skipped.
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

#include <QColor>
#include <QImage>
#include <QPicture>
#include <QWidget>

// Raised by the effects when the control's state does not allow them.
class EGlimFade : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace lumi {

// A picture as the control takes it: empty, a bitmap (stretched or drawn as it is), an icon
// (drawn at its own size over the side's colour, then stretched) or a vector drawing
// (recorded painter commands, drawn over the side's colour).
class GlimPicture {
public:
    enum class Kind { Empty, Bitmap, Icon, Vector };

    GlimPicture() = default;
    static GlimPicture bitmap(QImage image);
    static GlimPicture icon(QImage image);
    static GlimPicture vector(QPicture drawing);

    Kind kind() const { return kind_; }
    bool empty() const { return kind_ == Kind::Empty; }
    QSize size() const;
    const QImage& image() const { return image_; }
    const QPicture& drawing() const { return drawing_; }

private:
    GlimPicture(Kind kind, QImage image, QPicture drawing)
        : kind_(kind), image_(std::move(image)), drawing_(std::move(drawing)) {}

    Kind kind_ = Kind::Empty;
    QImage image_;
    QPicture drawing_;
};

// One pixel of a dissolve, in the order the effect copies them.
struct PixelPos {
    int32_t row;
    int32_t column;
};
using PixelList = std::vector<PixelPos>;

// The pixel format of the three off-screen images: 3 bytes a pixel, rows padded to 4 bytes.
inline constexpr QImage::Format GlimImageFormat = QImage::Format_BGR888;

// One blend step: every byte of display becomes (work × (32 − weight) + target × weight)
// div 32. Works a 32-bit word at a time, two 8-bit lanes per multiplication. All three
// images must have the same size and GlimImageFormat; otherwise nothing is changed and
// false is returned.
bool blendStep(QImage& display, const QImage& work, const QImage& target, int weight);

// All width × height pixels row by row, then shuffled: entry j swaps with a random entry.
PixelList shuffledPixelList(int width, int height);

// Copies the 3 bytes of list[first .. first + count) from target into display. Entries that
// lie outside either image are skipped.
void dissolveStep(QImage& display, const QImage& target, const PixelList& list, size_t first,
                  size_t count);

} // namespace lumi

class TGlimFade : public QWidget {
public:
    using TNotifyEvent = std::function<void(TGlimFade* sender)>;

    explicit TGlimFade(QWidget* parent = nullptr);
    ~TGlimFade() override;

    const lumi::GlimPicture& PicFrom() const { return picFrom_; }
    void setPicFrom(const lumi::GlimPicture& picture);
    const lumi::GlimPicture& PicTo() const { return picTo_; }
    void setPicTo(const lumi::GlimPicture& picture);
    QColor ColorFrom() const { return colorFrom_; }
    void setColorFrom(QColor color);
    QColor ColorTo() const { return colorTo_; }
    void setColorTo(QColor color);
    int DisolvRate() const { return disolvRate_; }
    void setDisolvRate(int rate);
    int BlendRate() const { return blendRate_; }
    void setBlendRate(int rate);
    bool StretchToFit() const { return stretchToFit_; }
    void setStretchToFit(bool stretch);
    bool ProcessMsgs() const { return processMsgs_; }
    void setProcessMsgs(bool process) { processMsgs_ = process; }
    bool AutoReverse() const { return autoReverse_; }
    void setAutoReverse(bool reverse) { autoReverse_ = reverse; }
    bool SwapOnReverse() const { return swapOnReverse_; }
    void setSwapOnReverse(bool swap) { swapOnReverse_ = swap; }
    int SwapDelay() const { return swapDelay_; }
    void setSwapDelay(int seconds) { swapDelay_ = seconds; }

    // The effects run to completion inside the call. Blend and Dissolve fire OnBegin and
    // OnEnd; the backward effects fire neither and always end in the normal state.
    void Blend();
    void BlendBack();
    void Dissolve();
    void DissolveBack();
    // Re-renders the display and target images from the pictures; fires OnReset.
    void Reset();

    // What painting shows.
    const QImage& DisplayImage() const { return display_; }

    TNotifyEvent OnClick;
    TNotifyEvent OnBegin;
    TNotifyEvent OnEnd;
    TNotifyEvent OnReset;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

protected:
    // Shows the display image at once after each effect step.
    virtual void repaintNow();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Enter and Space click the button when it has the keyboard focus.
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void pictureChanged();
    void swapSides();
    // Runs the weight steps from work_ to target_; false when the control went away.
    bool runBlendSteps();
    bool runDissolveSteps(const lumi::PixelList& list, size_t perStep);
    lumi::PixelList checkedPixelList(size_t& perStep) const;
    // Repaints and, with ProcessMsgs, handles pending events; false when the control went away.
    bool afterStep();
    bool reverseAfterForward(bool wasBlend);
    void fire(const TNotifyEvent& event);

    lumi::GlimPicture picFrom_;
    lumi::GlimPicture picTo_;
    QColor colorFrom_ = QColor(0, 0, 0);
    QColor colorTo_ = QColor(255, 255, 255);
    int disolvRate_ = 125;
    int blendRate_ = 32;
    bool stretchToFit_ = true;
    bool processMsgs_ = false;
    bool autoReverse_ = false;
    bool swapOnReverse_ = true;
    int swapDelay_ = 1;

    QImage display_;
    QImage target_;
    QImage work_;
    bool swapped_ = false;
    bool savedStretchToFit_ = true;
    bool resetting_ = false;
    bool pressed_ = false;
};
