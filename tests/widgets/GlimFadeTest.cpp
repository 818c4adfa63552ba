#include "widgets/GlimFade.h"

#include <random>

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace {

using lumi::GlimPicture;

QImage solid(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Left half one colour, right half another: shows where a picture was stretched to.
QImage halves(QSize size, QColor left, QColor right) {
    QImage image = solid(size, left);
    QPainter painter(&image);
    painter.fillRect(QRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height()),
                     right);
    return image;
}

QColor pixelAt(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

int differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* rowA = a.constScanLine(y);
        const uchar* rowB = b.constScanLine(y);
        for (int x = 0; x < a.width(); ++x)
            if (std::memcmp(rowA + x * 3, rowB + x * 3, 3) != 0) ++count;
    }
    return count;
}

bool samePixels(const QImage& a, const QImage& b) {
    return a.size() == b.size() && differingPixels(a.convertToFormat(lumi::GlimImageFormat),
                                                   b.convertToFormat(lumi::GlimImageFormat)) == 0;
}

// Sees every step of an effect: keeps the frames, or only how many pixels each step changed.
class RecordingFade : public TGlimFade {
public:
    explicit RecordingFade(bool keepFrames = true) : keepFrames_(keepFrames) {
        OnReset = [this](TGlimFade* sender) {
            ++resets;
            previous_ = sender->DisplayImage().copy();
        };
    }

    std::vector<QImage> frames;
    std::vector<int> changedPerStep;
    int resets = 0;

protected:
    void repaintNow() override {
        const QImage& now = DisplayImage();
        changedPerStep.push_back(differingPixels(previous_, now));
        previous_ = now.copy();
        if (keepFrames_) frames.push_back(now.copy());
    }

private:
    bool keepFrames_;
    QImage previous_;
};

TEST(GlimFade, NewControlDefaultsAndSetterClamping) {
    TGlimFade fade;
    EXPECT_EQ(fade.size(), QSize(75, 75));
    EXPECT_EQ(fade.BlendRate(), 32);
    EXPECT_EQ(fade.DisolvRate(), 125);
    EXPECT_TRUE(fade.StretchToFit());
    EXPECT_EQ(fade.ColorFrom(), QColor(0, 0, 0));
    EXPECT_EQ(fade.ColorTo(), QColor(255, 255, 255));
    EXPECT_TRUE(fade.testAttribute(Qt::WA_OpaquePaintEvent));

    for (auto [given, stored] : std::vector<std::pair<int, int>>{
             {0, 1}, {-7, 1}, {1, 1}, {32, 32}, {255, 255}, {256, 255}, {300, 255}}) {
        fade.setBlendRate(given);
        EXPECT_EQ(fade.BlendRate(), stored) << "BlendRate " << given;
    }

    fade.resize(10, 10);
    for (auto [given, stored] : std::vector<std::pair<int, int>>{
             {0, 1}, {-3, 1}, {50, 50}, {100, 100}, {101, 100}, {500, 100}}) {
        fade.setDisolvRate(given);
        EXPECT_EQ(fade.DisolvRate(), stored) << "DisolvRate " << given;
    }
}

TEST(GlimFade, BlendWeightsFollowTheRate) {
    const QColor from(10, 200, 30);
    const QColor to(250, 20, 131);
    RecordingFade fade;
    fade.resize(7, 3); // 21 bytes a row: padding bytes are blended too
    fade.setPicFrom(GlimPicture::bitmap(solid({7, 3}, from)));
    fade.setPicTo(GlimPicture::bitmap(solid({7, 3}, to)));

    fade.setBlendRate(1);
    fade.Blend();
    ASSERT_EQ(fade.frames.size(), 2u);
    EXPECT_EQ(pixelAt(fade.frames[0], 3, 1), from);
    EXPECT_EQ(pixelAt(fade.frames[1], 3, 1), to);

    fade.frames.clear();
    fade.setBlendRate(32);
    fade.Blend();
    ASSERT_EQ(fade.frames.size(), 33u);
    for (int w = 0; w <= 32; ++w) {
        const auto mix = [w](int a, int b) { return (a * (32 - w) + b * w) / 32; };
        const QColor expected(mix(from.red(), to.red()), mix(from.green(), to.green()),
                              mix(from.blue(), to.blue()));
        EXPECT_EQ(pixelAt(fade.frames[w], 6, 2), expected) << "weight " << w;
    }

    // Rate 3: weights 0, 10, 21, 32.
    fade.frames.clear();
    fade.setBlendRate(3);
    fade.Blend();
    ASSERT_EQ(fade.frames.size(), 4u);
    EXPECT_EQ(pixelAt(fade.frames[1], 0, 0).red(), (10 * 22 + 250 * 10) / 32);
    EXPECT_EQ(pixelAt(fade.frames[2], 0, 0).red(), (10 * 11 + 250 * 21) / 32);
}

TEST(GlimFade, WordBlendMatchesPerByteMixForEveryWeight) {
    std::mt19937 random(7);
    const QSize size(99, 5); // 297 bytes a row, padded to 300
    QImage work(size, lumi::GlimImageFormat);
    QImage target(size, lumi::GlimImageFormat);
    for (QImage* image : {&work, &target})
        for (qsizetype i = 0; i < image->sizeInBytes(); ++i)
            image->bits()[i] = uchar(random());
    for (int w = 0; w <= 32; ++w) {
        QImage display(size, lumi::GlimImageFormat);
        ASSERT_TRUE(lumi::blendStep(display, work, target, w));
        for (qsizetype i = 0; i < display.sizeInBytes(); ++i) {
            const int expected = (work.constBits()[i] * (32 - w) + target.constBits()[i] * w) / 32;
            ASSERT_EQ(display.constBits()[i], expected) << "byte " << i << " weight " << w;
        }
    }
    QImage smaller(QSize(98, 5), lumi::GlimImageFormat);
    EXPECT_FALSE(lumi::blendStep(smaller, work, target, 16));
    QImage display(size, lumi::GlimImageFormat);
    EXPECT_FALSE(lumi::blendStep(display, work, target, 33));
}

TEST(GlimFade, DissolveOf99By83At500Takes513StepsOf16AndOneOf9) {
    RecordingFade fade(false);
    int begins = 0;
    int ends = 0;
    fade.OnBegin = [&](TGlimFade*) { ++begins; };
    fade.OnEnd = [&](TGlimFade*) { ++ends; };
    fade.setStretchToFit(false);
    fade.setPicFrom(GlimPicture::bitmap(solid({99, 83}, Qt::black)));
    fade.setPicTo(GlimPicture::bitmap(solid({99, 83}, Qt::white)));
    fade.setDisolvRate(500);
    ASSERT_EQ(fade.DisolvRate(), 500);

    fade.Dissolve();
    ASSERT_EQ(fade.changedPerStep.size(), 514u);
    for (size_t step = 0; step < 513; ++step)
        ASSERT_EQ(fade.changedPerStep[step], 16) << step;
    EXPECT_EQ(fade.changedPerStep.back(), 9);
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(samePixels(fade.DisplayImage(), solid({99, 83}, Qt::white)));
}

TEST(GlimFade, DisolvRateAboveAreaChangesOnePixelPerStep) {
    RecordingFade fade(false);
    fade.resize(6, 4);
    fade.setPicFrom(GlimPicture::bitmap(solid({6, 4}, Qt::red)));
    fade.setPicTo(GlimPicture::bitmap(solid({6, 4}, Qt::blue)));
    fade.setDisolvRate(1000);
    EXPECT_EQ(fade.DisolvRate(), 24);
    fade.Dissolve();
    // 24 steps of one pixel, then the (empty) remainder.
    ASSERT_EQ(fade.changedPerStep.size(), 25u);
    for (size_t step = 0; step < 24; ++step)
        EXPECT_EQ(fade.changedPerStep[step], 1);
    EXPECT_EQ(fade.changedPerStep.back(), 0);
}

// Counts the event rounds an effect lets run: every step posts a call that only a round of
// event handling delivers.
class EventRoundFade : public TGlimFade {
public:
    int posted = 0;
    int delivered = 0;

protected:
    void repaintNow() override {
        ++posted;
        QMetaObject::invokeMethod(
            this, [this] { ++delivered; }, Qt::QueuedConnection);
    }
};

TEST(GlimFade, EventsAreHandledAfterEveryFullStepButNotAfterTheRemainder) {
    EventRoundFade fade;
    fade.resize(7, 3);
    fade.setPicFrom(GlimPicture::bitmap(solid({7, 3}, Qt::red)));
    fade.setPicTo(GlimPicture::bitmap(solid({7, 3}, Qt::blue)));
    fade.setProcessMsgs(true);
    fade.setDisolvRate(4); // 21 pixels: 4 steps of 5, then 1

    fade.Dissolve();
    EXPECT_EQ(fade.posted, 5);
    EXPECT_EQ(fade.delivered, 4);

    QCoreApplication::processEvents(); // delivers the remainder's call
    fade.posted = fade.delivered = 0;
    fade.DissolveBack();
    EXPECT_EQ(fade.posted, 5);
    EXPECT_EQ(fade.delivered, 4);

    // A blend handles events after every one of its steps, the last included.
    QCoreApplication::processEvents(); // delivers the remainder's call
    fade.posted = fade.delivered = 0;
    fade.setBlendRate(3);
    fade.Blend();
    EXPECT_EQ(fade.posted, 4);
    EXPECT_EQ(fade.delivered, 4);
    QCoreApplication::processEvents();
}

TEST(GlimFade, ShuffledPixelListCoversEveryPixelOnce) {
    const lumi::PixelList list = lumi::shuffledPixelList(13, 7);
    ASSERT_EQ(list.size(), 91u);
    std::vector<int> seen(91, 0);
    for (const lumi::PixelPos& pixel : list) {
        ASSERT_GE(pixel.row, 0);
        ASSERT_LT(pixel.row, 7);
        ASSERT_GE(pixel.column, 0);
        ASSERT_LT(pixel.column, 13);
        ++seen[pixel.row * 13 + pixel.column];
    }
    for (int count : seen)
        EXPECT_EQ(count, 1);
    EXPECT_TRUE(lumi::shuffledPixelList(0, 5).empty());
}

TEST(GlimFade, UnstretchedControlTakesPicFromSizeAndStretchesPicTo) {
    RecordingFade fade;
    fade.setStretchToFit(false);
    fade.setPicTo(GlimPicture::bitmap(halves({10, 9}, Qt::green, Qt::magenta)));
    // Only PicTo: the control takes its size and the display shows ColorFrom.
    EXPECT_EQ(fade.size(), QSize(10, 9));
    EXPECT_EQ(pixelAt(fade.DisplayImage(), 5, 5), QColor(Qt::black));

    fade.setPicFrom(GlimPicture::bitmap(solid({130, 27}, Qt::darkGray)));
    EXPECT_EQ(fade.size(), QSize(130, 27));
    EXPECT_EQ(fade.DisplayImage().size(), QSize(130, 27));
    fade.setBlendRate(1);
    fade.Blend();
    const QImage& shown = fade.DisplayImage();
    EXPECT_EQ(pixelAt(shown, 0, 0), QColor(Qt::green));
    EXPECT_EQ(pixelAt(shown, 60, 26), QColor(Qt::green));
    EXPECT_EQ(pixelAt(shown, 70, 0), QColor(Qt::magenta));
    EXPECT_EQ(pixelAt(shown, 129, 26), QColor(Qt::magenta));

    // Only PicFrom: drawn unscaled, and the target is ColorTo.
    TGlimFade lone;
    lone.setStretchToFit(false);
    lone.setPicFrom(GlimPicture::bitmap(halves({20, 4}, Qt::red, Qt::blue)));
    EXPECT_EQ(lone.size(), QSize(20, 4));
    EXPECT_EQ(pixelAt(lone.DisplayImage(), 9, 0), QColor(Qt::red));
    EXPECT_EQ(pixelAt(lone.DisplayImage(), 10, 0), QColor(Qt::blue));
    lone.setBlendRate(1);
    lone.Blend();
    EXPECT_EQ(pixelAt(lone.DisplayImage(), 3, 3), QColor(Qt::white));
}

TEST(GlimFade, RenderingOfEmptyIconAndVectorPictures) {
    TGlimFade fade;
    fade.resize(8, 8);
    int resets = 0;
    fade.OnReset = [&](TGlimFade*) { ++resets; };
    fade.setColorFrom(QColor(0, 0, 200));
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(pixelAt(fade.DisplayImage(), 4, 4), QColor(0, 0, 200));
    fade.setColorFrom(QColor(0, 0, 200)); // same colour: nothing to render
    EXPECT_EQ(resets, 1);

    // An icon keeps its transparent parts in the side's colour and is stretched.
    QImage iconImage(2, 2, QImage::Format_ARGB32);
    iconImage.fill(Qt::transparent);
    iconImage.setPixelColor(0, 0, Qt::yellow);
    fade.setPicFrom(GlimPicture::icon(iconImage));
    EXPECT_EQ(pixelAt(fade.DisplayImage(), 1, 1), QColor(Qt::yellow));
    EXPECT_EQ(pixelAt(fade.DisplayImage(), 6, 6), QColor(0, 0, 200));

    // A vector drawing is drawn over the colour, fitted to the control.
    QPicture drawing;
    {
        QPainter painter(&drawing);
        painter.fillRect(QRect(0, 0, 4, 2), Qt::red);
        painter.fillRect(QRect(0, 2, 4, 2), Qt::green);
    }
    fade.setPicFrom(GlimPicture::vector(drawing));
    EXPECT_EQ(pixelAt(fade.DisplayImage(), 4, 1), QColor(Qt::red));
    EXPECT_EQ(pixelAt(fade.DisplayImage(), 4, 6), QColor(Qt::green));
}

TEST(GlimFade, BackwardEffectsRestoreEveryProperty) {
    const QImage normal = halves({130, 27}, Qt::darkBlue, Qt::darkCyan);
    const QImage highlight = halves({130, 27}, Qt::yellow, Qt::red);
    RecordingFade fade;
    fade.setStretchToFit(false);
    fade.setColorFrom(QColor(1, 2, 3));
    fade.setColorTo(QColor(4, 5, 6));
    fade.setPicFrom(GlimPicture::bitmap(normal));
    fade.setPicTo(GlimPicture::bitmap(highlight));

    const auto expectNormalState = [&](const char* after) {
        SCOPED_TRACE(after);
        EXPECT_FALSE(fade.StretchToFit());
        EXPECT_EQ(fade.ColorFrom(), QColor(1, 2, 3));
        EXPECT_EQ(fade.ColorTo(), QColor(4, 5, 6));
        EXPECT_TRUE(samePixels(fade.PicFrom().image(), normal));
        EXPECT_TRUE(samePixels(fade.PicTo().image(), highlight));
        EXPECT_TRUE(samePixels(fade.DisplayImage(), normal));
    };

    fade.Blend();
    EXPECT_TRUE(samePixels(fade.DisplayImage(), highlight));
    fade.frames.clear();
    fade.BlendBack();
    ASSERT_EQ(fade.frames.size(), 33u);
    EXPECT_TRUE(samePixels(fade.frames.front(), highlight));
    EXPECT_TRUE(samePixels(fade.frames.back(), normal));
    expectNormalState("BlendBack");

    fade.setDisolvRate(500);
    fade.Dissolve();
    EXPECT_TRUE(samePixels(fade.DisplayImage(), highlight));
    fade.DissolveBack();
    expectNormalState("DissolveBack");
}

TEST(GlimFade, EffectsRefuseRatesTheControlCannotHold) {
    RecordingFade fade;
    int begins = 0;
    fade.OnBegin = [&](TGlimFade*) { ++begins; };
    fade.resize(99, 83);
    fade.setPicFrom(GlimPicture::bitmap(solid({4, 4}, Qt::red)));
    fade.setPicTo(GlimPicture::bitmap(solid({4, 4}, Qt::blue)));
    fade.setDisolvRate(500);
    fade.resize(10, 10); // shrinks below 500 pixels; the stored rate stays

    try {
        fade.Dissolve();
        FAIL() << "Dissolve ran with more steps than pixels";
    } catch (const EGlimFade& error) {
        EXPECT_STREQ(error.what(), "DisolvRate cannot be > Width * Height!");
    }
    EXPECT_EQ(begins, 0);
    EXPECT_TRUE(fade.frames.empty());
    EXPECT_EQ(pixelAt(fade.DisplayImage(), 5, 5), QColor(Qt::red));

    EXPECT_THROW(fade.DissolveBack(), EGlimFade);
    // The failed backward dissolve leaves the sides where they were.
    EXPECT_EQ(pixelAt(fade.PicFrom().image(), 0, 0), QColor(Qt::red));
    EXPECT_EQ(fade.ColorFrom(), QColor(0, 0, 0));
    EXPECT_EQ(pixelAt(fade.DisplayImage(), 5, 5), QColor(Qt::red));
}

TEST(GlimFade, ZeroSizedControlRefusesToDissolve) {
    TGlimFade fade;
    fade.resize(0, 0);
    fade.setDisolvRate(5);
    EXPECT_EQ(fade.DisolvRate(), 0);
    EXPECT_THROW(fade.Dissolve(), EGlimFade);
    fade.Blend(); // nothing to mix, and no failure
}

TEST(GlimFade, ControlDestroyedWhileItsEffectHandlesEventsEndsTheEffect) {
    QPointer<RecordingFade> fade = new RecordingFade(false);
    fade->resize(20, 10);
    fade->setProcessMsgs(true);
    bool ended = false;
    fade->OnEnd = [&](TGlimFade*) { ended = true; };
    QTimer::singleShot(0, [&] { delete fade.data(); });
    fade->Blend();
    EXPECT_TRUE(fade.isNull());
    EXPECT_FALSE(ended);
}

TEST(GlimFade, AutoReverseRunsTheOtherEffectBack) {
    RecordingFade fade(false);
    std::vector<std::string> events;
    fade.OnBegin = [&](TGlimFade*) { events.push_back("begin"); };
    fade.OnEnd = [&](TGlimFade*) { events.push_back("end"); };
    fade.resize(12, 10);
    fade.setPicFrom(GlimPicture::bitmap(solid({12, 10}, Qt::red)));
    fade.setPicTo(GlimPicture::bitmap(solid({12, 10}, Qt::blue)));
    fade.setAutoReverse(true);
    fade.setSwapDelay(0);
    fade.setBlendRate(4);
    fade.setDisolvRate(12);

    // Blend forward (5 steps), then a dissolve back (12 steps and the remainder).
    fade.Blend();
    EXPECT_EQ(fade.changedPerStep.size(), 5u + 13u);
    EXPECT_EQ(events, (std::vector<std::string>{"begin", "end"}));
    EXPECT_EQ(pixelAt(fade.DisplayImage(), 0, 0), QColor(Qt::red));

    // Without the swap a blend comes back as a blend.
    fade.changedPerStep.clear();
    fade.setSwapOnReverse(false);
    fade.Blend();
    EXPECT_EQ(fade.changedPerStep.size(), 10u);
    EXPECT_EQ(pixelAt(fade.PicFrom().image(), 0, 0), QColor(Qt::red));
}

TEST(GlimFade, MouseEventsReachTheEvents) {
    QWidget parent;
    parent.resize(200, 100);
    auto* fade = new TGlimFade(&parent);
    fade->move(10, 10);
    int clicks = 0;
    int enters = 0;
    int leaves = 0;
    fade->OnClick = [&](TGlimFade* sender) {
        EXPECT_EQ(sender, fade);
        ++clicks;
    };
    fade->OnMouseEnter = [&](TGlimFade*) { ++enters; };
    fade->OnMouseLeave = [&](TGlimFade*) { ++leaves; };
    parent.show();

    QTest::mouseClick(fade, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(fade, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
    // Released outside the control: no click.
    QTest::mousePress(fade, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(fade, Qt::LeftButton, {}, QPoint(150, 5));
    EXPECT_EQ(clicks, 1);

    QEnterEvent enter(QPointF(3, 3), QPointF(13, 13), QPointF(13, 13));
    QApplication::sendEvent(fade, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(fade, &leave);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
}

} // namespace
