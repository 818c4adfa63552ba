#include "widgets/Gauges.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>

#include "common/EventLoopWait.h"

namespace {

const QColor Maroon(0x80, 0, 0);
const QColor Silver(Qt::lightGray);

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TGauge& styled(TGauge& gauge, TGaugeKind kind, bool text) {
    gauge.resize(102, 52);
    gauge.setKind(kind);
    gauge.setShowText(text);
    gauge.setForeColor(Maroon);
    gauge.setBackColor(Silver);
    return gauge;
}

} // namespace

TEST(Gauge, PercentDoneTruncatesAndProgressIsClamped) {
    struct Case {
        int32_t min, max, progress;
        int32_t expectedProgress, percent;
    };
    const Case cases[] = {
        {0, 100, 40, 40, 40}, {0, 3, 1, 1, 33},
        {0, 3, 2, 2, 66},     {0, 0, 5, 0, 0},
        {-50, 50, 0, 0, 50},  {0, 100, 150, 100, 100},
        {10, 20, -5, 10, 0},  {-INT_MAX, INT_MAX, -1, -1, 49},
    };
    for (const Case& c : cases) {
        TGauge gauge;
        gauge.setMaxValue(c.max);
        gauge.setMinValue(c.min);
        gauge.setProgress(c.progress);
        EXPECT_EQ(gauge.Progress(), c.expectedProgress) << c.min << ".." << c.max;
        EXPECT_EQ(gauge.PercentDone(), c.percent) << c.min << ".." << c.max;
    }
    TGauge gauge;
    EXPECT_EQ(gauge.size(), QSize(100, 100));
    gauge.setProgress(90);
    gauge.setMaxValue(50);
    EXPECT_EQ(gauge.Progress(), 50) << "a lower maximum lowers the progress";
    gauge.setMinValue(20);
    gauge.setProgress(0);
    EXPECT_EQ(gauge.Progress(), 20);
}

TEST(Gauge, BoundsThatCrossRaiseWithTheirLimits) {
    TGauge gauge;
    gauge.setMaxValue(10);
    try {
        gauge.setMinValue(11);
        FAIL() << "no error";
    } catch (const lumi::GaugeRangeError& e) {
        EXPECT_STREQ(e.what(), "Value must be between -2147483647 and 9");
    }
    gauge.setMinValue(5);
    try {
        gauge.setMaxValue(4);
        FAIL() << "no error";
    } catch (const lumi::GaugeRangeError& e) {
        EXPECT_STREQ(e.what(), "Value must be between 6 and 2147483647");
    }
    EXPECT_EQ(gauge.MinValue(), 5);
    EXPECT_EQ(gauge.MaxValue(), 10);
    gauge.setLoading(true);
    EXPECT_NO_THROW(gauge.setMaxValue(1));
}

TEST(Gauge, RepaintsOnlyWhenThePercentageChanges) {
    TGauge gauge;
    gauge.setMaxValue(1000);
    gauge.show();
    PaintCounter counter;
    gauge.installEventFilter(&counter);
    lumi::test::spinFor(50);
    counter.paints = 0;
    for (int32_t p = 1; p <= 9; ++p)
        gauge.setProgress(p);
    lumi::test::spinFor(50);
    EXPECT_EQ(counter.paints, 0) << "0 % throughout";
    gauge.setProgress(10);
    ASSERT_TRUE(lumi::test::waitUntil([&] { return counter.paints > 0; }, 2000));
}

TEST(Gauge, KindsPaintTheirShareInTheForeColour) {
    TGauge gauge;
    gauge.setProgress(40);
    // Inside the border and the one-pixel inset the area is 98 x 48, from (2, 2).
    QImage bar = styled(gauge, gkHorizontalBar, false).paintedImage();
    EXPECT_EQ(bar.pixelColor(2, 25), Maroon);
    EXPECT_EQ(bar.pixelColor(2 + 38, 25), Maroon); // truncate(0.4 * 98) = 39 columns
    EXPECT_EQ(bar.pixelColor(2 + 39, 25), Silver);
    EXPECT_EQ(bar.pixelColor(0, 0), QColor(Qt::black)) << "single border";

    QImage column = styled(gauge, gkVerticalBar, false).paintedImage();
    EXPECT_EQ(column.pixelColor(50, 49), Maroon);
    EXPECT_EQ(column.pixelColor(50, 49 - 18), Maroon); // truncate(0.4 * 48) = 19 rows
    EXPECT_EQ(column.pixelColor(50, 49 - 19), Silver);

    gauge.setProgress(25);
    QImage pie = styled(gauge, gkPie, false).paintedImage();
    EXPECT_EQ(pie.pixelColor(62, 18), Maroon) << "the first quarter lies right of the top";
    EXPECT_EQ(pie.pixelColor(38, 18), Silver);
    EXPECT_EQ(pie.pixelColor(62, 34), Silver);

    gauge.setProgress(0);
    QImage empty = styled(gauge, gkNeedle, false).paintedImage();
    gauge.setProgress(50);
    QImage upright = styled(gauge, gkNeedle, false).paintedImage();
    EXPECT_EQ(empty.pixelColor(51, 30), Silver);
    EXPECT_EQ(upright.pixelColor(51, 30), Maroon) << "50 % stands straight up";
}

// The percentage is combined by exclusive-or: over the bar it shows inverted, so it reads
// over the filled and the empty part alike.
TEST(Gauge, TextIsCombinedByExclusiveOr) {
    TGauge gauge;
    gauge.setProgress(50);
    const QImage plain = styled(gauge, gkHorizontalBar, false).paintedImage();
    const QImage withText = styled(gauge, gkHorizontalBar, true).paintedImage();
    int inverted = 0, changed = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) {
            const QRgb before = plain.pixel(x, y), after = withText.pixel(x, y);
            if (before == after) continue;
            ++changed;
            if ((after & 0xFFFFFF) == (~before & 0xFFFFFF)) ++inverted;
        }
    EXPECT_GT(changed, 20);
    // The text straddles the bar's end: it shows over the filled and the empty part.
    bool overFilled = false, overEmpty = false;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (plain.pixel(x, y) != withText.pixel(x, y))
                (plain.pixelColor(x, y) == Maroon ? overFilled : overEmpty) = true;
    EXPECT_TRUE(overFilled && overEmpty);
    EXPECT_EQ(inverted, changed) << "every text pixel is the inverse of the picture beneath";
}
