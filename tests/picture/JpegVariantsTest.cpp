// JPEG decoding over small generated pictures: EXIF orientations, progressive pictures scaled
// down, and the words for a picture too large to show.
#include <cstdio>
#include <functional>

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include "common/ExifSample.h"
#include "picture/ExifOrientation.h"
#include "picture/JpegDecode.h"

namespace {

using lumi::test::withExif;

QByteArray jpegOf(const QImage& image, bool progressive) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(image));
    return bytes;
}

lumi::Picture decode(const QByteArray& bytes, QSize area = {}) {
    return lumi::decodeJpeg(reinterpret_cast<const uint8_t*>(bytes.constData()),
                            size_t(bytes.size()), area);
}

TEST(JpegVariants, EveryExifOrientationComesOutUpright) {
    // Stored: red | green over blue | white, 32 × 16.
    QImage stored(32, 16, QImage::Format_RGB32);
    QPainter painter(&stored);
    painter.fillRect(0, 0, 16, 8, Qt::red);
    painter.fillRect(16, 0, 16, 8, Qt::green);
    painter.fillRect(0, 8, 16, 8, Qt::blue);
    painter.fillRect(16, 8, 16, 8, Qt::white);
    painter.end();
    const QByteArray plain = jpegOf(stored, false);
    // The upright corners (top left, top right, bottom left, bottom right) per the EXIF rules.
    const char* const corners[] = {"",     "RGBW", "GRWB", "WBGR", "BWRG",
                                   "RBGW", "BRWG", "WGBR", "GWRB"};
    const auto nameOf = [](QColor c) {
        return c.red() > 128 ? (c.green() > 128 ? 'W' : 'R') : c.green() > 128 ? 'G' : 'B';
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const lumi::Picture picture = decode(withExif(plain, orientation, orientation % 2));
        const QSize upright = orientation >= 5 ? QSize(16, 32) : QSize(32, 16);
        ASSERT_EQ(picture.natural, upright) << orientation;
        ASSERT_EQ(picture.image.size(), upright) << orientation;
        const int r = upright.width() - 4, b = upright.height() - 4;
        const std::string seen = {
            nameOf(picture.image.pixelColor(4, 4)), nameOf(picture.image.pixelColor(r, 4)),
            nameOf(picture.image.pixelColor(4, b)), nameOf(picture.image.pixelColor(r, b))};
        EXPECT_EQ(seen, corners[orientation]) << orientation;
    }
    // Decoded for an area, a turned picture keeps its upright size.
    EXPECT_EQ(decode(withExif(plain, 6, true), {8, 16}).natural, QSize(16, 32));
}

// libjpeg's own decode at an eighth, reading every scan.
QImage fullDecodeAtAnEighth(const QByteArray& bytes) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.scale_num = 1;
    cinfo.scale_denom = 8;
    cinfo.out_color_space = JCS_EXT_RGBX; // grey comes out as RGBX too
    jpeg_start_decompress(&cinfo);
    QImage image(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGBX8888);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return image;
}

// Decoded scaled down, a progressive picture is read only up to the scans that scale uses;
// the pixels are libjpeg's own for the whole stream.
TEST(JpegVariants, ProgressiveScaledDownComesFromTheScansItUses) {
    QImage source(480, 320, QImage::Format_RGB32);
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 480; ++x)
            source.setPixel(x, y, qRgb(x / 2, y * 255 / 320, (x * y) % 256));
    const QSize small(50, 30); // fits an eighth: 60 × 40
    for (const bool grey : {false, true}) {
        SCOPED_TRACE(grey ? "grey" : "colour, halved chroma");
        const QByteArray progressive =
            jpegOf(grey ? source.convertToFormat(QImage::Format_Grayscale8) : source, true);
        const QImage reference = fullDecodeAtAnEighth(progressive);
        ASSERT_EQ(reference.size(), QSize(60, 40));
        const QImage decoded = decode(progressive, small).image;
        EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGBX8888), reference);
    }
}

TEST(JpegVariants, PicturesBeyondTheBudgetsAreTooLargeToShow) {
    for (const char* name : {"/huge-header.jpg", "/huge-progressive.jpg"}) {
        try {
            lumi::loadPictureFile(std::string(LUMISIFT_TEST_PICTURES) + name, {401, 313});
            ADD_FAILURE() << name;
        } catch (const lumi::PictureError& error) {
            EXPECT_STREQ(error.what(), lumi::TooLargeToShow) << name;
        }
    }
}

} // namespace
