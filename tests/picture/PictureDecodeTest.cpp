#include "picture/PictureDecode.h"

#include <optional>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QPainter>

#include "picture/GifDecode.h"
#include "picture/JpegDecode.h"
#include "picture/PictureFit.h"

namespace {

// Appended piece by piece: GCC 12 at -O2 reports a false out-of-bounds copy (-Warray-bounds)
// in a literal added to a temporary string.
std::string picturePath(const char* name) {
    std::string path = LUMISIFT_TEST_PICTURES;
    path += '/';
    path += name;
    return path;
}

std::optional<lumi::Picture> tryLoad(const std::string& path, QSize area = {}) {
    try {
        return lumi::loadPictureFile(path, area);
    } catch (const lumi::PictureError&) {
        return std::nullopt;
    }
}

// Every checked-in picture with what loading it gives: its natural size, or a failure.
TEST(PictureDecode, EachTestPictureLoadsOrFailsAsExpected) {
    const struct {
        const char* name;
        QSize natural; // empty: the load fails
    } cases[] = {
        {"plain.jpg", {64, 48}},
        {"UPPER.JPG", {64, 48}},
        {"progressive.jpg", {64, 48}},
        {"cmyk.jpg", {32, 24}},
        // The decodable part is kept: libjpeg fills what is missing.
        {"truncated.jpg", {200, 150}},
        {"corrupt-huffman.jpg", {200, 150}},
        // 65 000 × 65 000 is beyond the pixel budget even at an eighth.
        {"huge-header.jpg", {}},
        {"huge-progressive.jpg", {}},
        // The decoder follows the name: GIF data under a JPEG name is not a JPEG.
        {"gif-named.jpg", {}},
        {"frames.gif", {16, 12}},
        {"truncated.gif", {16, 12}},
        {"noframes.gif", {}},
        {"huge.gif", {}},
        {"plain.bmp", {24, 16}},
        {"plain.ico", {32, 32}},
        // Qt could read it, but the viewer takes no PNG.
        {"plain.png", {}},
        {"missing.jpg", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (QSize area : {QSize(), QSize(401, 313)}) {
            const auto picture = tryLoad(picturePath(c.name), area);
            ASSERT_EQ(picture.has_value(), !c.natural.isEmpty());
            if (!picture) continue;
            EXPECT_EQ(picture->natural, c.natural);
            EXPECT_FALSE(picture->image.isNull());
        }
    }
}

// Regression: libjpeg refuses empty input while its source is set, which once jumped back
// through a guard that had already returned.
TEST(PictureDecode, EmptyInputFailsCleanly) {
    const uint8_t nothing = 0;
    EXPECT_THROW(lumi::decodeJpeg(&nothing, 0, {}), lumi::PictureError);
    EXPECT_THROW(lumi::decodeGif(&nothing, 0), lumi::PictureError);
}

TEST(PictureDecode, GifShowsFirstFrameWithLocalColoursAndTransparency) {
    const auto picture = tryLoad(picturePath("frames.gif"));
    ASSERT_TRUE(picture);
    const QImage& image = picture->image;
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0); // outside the first frame
    EXPECT_EQ(image.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(image.pixel(8, 3)), 0); // the transparent index
    EXPECT_EQ(image.pixel(13, 2), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(13, 9), qRgb(0, 0, 255));
    EXPECT_EQ(qAlpha(image.pixel(15, 11)), 0); // the white second frame is never drawn

    const auto truncated = tryLoad(picturePath("truncated.gif"));
    ASSERT_TRUE(truncated);
    EXPECT_EQ(truncated->image.pixel(2, 2), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(truncated->image.pixel(13, 9)), 0); // rows never received
}

TEST(PictureDecode, CmykJpegComesOutInItsColours) {
    const auto picture = tryLoad(picturePath("cmyk.jpg"));
    ASSERT_TRUE(picture);
    const QColor colour = picture->image.pixelColor(10, 10);
    EXPECT_GT(colour.red(), 230);
    EXPECT_LT(colour.green(), 25);
    EXPECT_LT(colour.blue(), 25);
}

QByteArray jpegOf(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

// A large JPEG is decoded at the smallest eighth that still covers its fitted size, and
// that decode, scaled to the fitted size, matches the full decode scaled smoothly.
TEST(PictureDecode, LargeJpegIsDecodedScaledForItsArea) {
    QImage source(1600, 1200, QImage::Format_RGB32);
    QPainter painter(&source);
    QConicalGradient wheel(800, 600, 0);
    wheel.setColorAt(0, Qt::red);
    wheel.setColorAt(0.5, Qt::cyan);
    wheel.setColorAt(1, Qt::red);
    painter.fillRect(source.rect(), wheel);
    painter.end();
    const QByteArray bytes = jpegOf(source);

    const QSize area(401, 313);
    const lumi::Picture scaled = lumi::decodePicture(bytes, lumi::PictureFormat::Jpeg, area);
    EXPECT_EQ(scaled.natural, QSize(1600, 1200));
    EXPECT_EQ(scaled.image.size(), QSize(400, 300)); // 2/8: 1/8 (200 × 150) is below 396 × 296
    const lumi::Picture full = lumi::decodePicture(bytes, lumi::PictureFormat::Jpeg);
    EXPECT_EQ(full.image.size(), QSize(1600, 1200));

    const QSize shown = lumi::shownSize(scaled.natural, area);
    const QImage a = scaled.image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_RGB32);
    const QImage b = full.image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_RGB32);
    double error = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            error += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                     std::abs(qBlue(p) - qBlue(q));
        }
    EXPECT_LT(error / (3.0 * shown.width() * shown.height()), 3.0);
}

TEST(PictureDecode, ExtensionChoosesTheDecoderInAnyCase) {
    using F = lumi::PictureFormat;
    const std::pair<const char*, F> cases[] = {
        {"a.jpg", F::Jpeg},     {"a.JpEg", F::Jpeg},    {"a.GIF", F::Gif},  {"a.Bmp", F::Bmp},
        {"a.ICO", F::Icon},     {"a.png", F::None},     {"a.wmf", F::None}, {"jpg", F::None},
        {"dir.jpg/a", F::None}, {"a.jpg.txt", F::None},
    };
    for (const auto& [name, format] : cases)
        EXPECT_EQ(lumi::pictureFormatOf(name), format) << name;
}

// The viewer's fitting rule on a 401 × 313 panel.
TEST(PictureFit, FitsAsTheViewerPlacesPictures) {
    const struct {
        QSize natural;
        bool naturalSize;
        QRect place;
    } cases[] = {
        {{300, 200}, true, {0, 0, 401, 313}},
        {{800, 600}, false, {2, 8, 396, 296}},
        {{500, 1000}, false, {125, 2, 151, 308}},
        // As wide as the panel: stretched with ratio 1, 5 pixels smaller both ways.
        {{401, 100}, false, {2, 109, 396, 95}},
        // A sliver gets no room rather than a negative size.
        {{40000, 10}, false, {2, 156, 396, 0}},
    };
    for (const auto& c : cases) {
        const lumi::PictureFit fit = lumi::fitPicture(c.natural, {401, 313});
        EXPECT_EQ(fit.naturalSize, c.naturalSize) << c.natural.width();
        EXPECT_EQ(fit.place, c.place) << c.natural.width();
    }
}

} // namespace
