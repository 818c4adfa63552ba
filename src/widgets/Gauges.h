#pragma once
// TGauge: a progress control that shows how far a value has come between two bounds as a
// bar, a pie or a needle, with the percentage written over it. It paints into an off-screen
// image of its own size (in the screen's device pixels) and copies that to the screen in one
// step.
//
// Property style: read with Name(), write with setName().
#include <cstdint>
#include <stdexcept>

#include <QColor>
#include <QImage>
#include <QWidget>

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum TBorderStyle { bsNone, bsSingle };

namespace lumi {
// Raised by setMinValue and setMaxValue for a bound that would cross the other one.
class GaugeRangeError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};
} // namespace lumi

class TGauge : public QWidget {
public:
    explicit TGauge(QWidget* parent = nullptr);

    int32_t MinValue() const { return minValue_; }
    int32_t MaxValue() const { return maxValue_; }
    int32_t Progress() const { return progress_; }
    TGaugeKind Kind() const { return kind_; }
    bool ShowText() const { return showText_; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    QColor ForeColor() const { return foreColor_; }
    QColor BackColor() const { return backColor_; }
    // (Progress - MinValue) * 100 / (MaxValue - MinValue), truncated; 0 for an empty range.
    int32_t PercentDone() const;

    // A minimum above MaxValue raises "Value must be between -2147483647 and MaxValue - 1"
    // (except while loading); Progress is raised to the new minimum.
    void setMinValue(int32_t value);
    // A maximum below MinValue raises "Value must be between MinValue + 1 and 2147483647"
    // (except while loading); Progress is lowered to the new maximum.
    void setMaxValue(int32_t value);
    // Clamped to [MinValue, MaxValue]; repaints only when PercentDone changes.
    void setProgress(int32_t value);
    // Adds value to Progress.
    void AddProgress(int32_t value);
    void setKind(TGaugeKind kind);
    void setShowText(bool show);
    void setBorderStyle(TBorderStyle style);
    void setForeColor(const QColor& colour);
    void setBackColor(const QColor& colour);
    // While a window is being built from its stored design the bounds are not checked.
    void setLoading(bool loading) { loading_ = loading; }

    // The picture the control shows, as painted off-screen.
    QImage paintedImage() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintBackground(QImage& image, const QRect& area) const;
    void paintPie(QImage& image, const QRect& area) const;
    void paintNeedle(QImage& image, const QRect& area) const;
    void paintPercentText(QImage& image, const QRect& area) const;

    int32_t minValue_ = 0;
    int32_t maxValue_ = 100;
    int32_t progress_ = 0;
    TGaugeKind kind_ = gkHorizontalBar;
    bool showText_ = true;
    TBorderStyle borderStyle_ = bsSingle;
    QColor foreColor_ = Qt::black;
    QColor backColor_ = Qt::white;
    bool loading_ = false;
};
