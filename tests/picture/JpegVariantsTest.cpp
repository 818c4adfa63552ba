// JPEG decoding beyond the plain case, over small generated pictures: EXIF orientations,
// a progressive picture decoded at an eighth from its DC scans only, and the words for a
// picture too large to show.
#include <cstdio>
#include <functional>

#include <gtest/gtest.h>
#include <jpeglib.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>

#include "picture/ExifOrientation.h"
#include "picture/JpegDecode.h"

namespace {

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

// The JPEG with an EXIF APP1 segment holding only the orientation, right after SOI.
QByteArray withOrientation(const QByteArray& jpeg, int orientation, bool bigEndian) {
    QByteArray tiff;
    const auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
            tiff.append(char((value >> shift) & 0xFF));
        }
    };
    tiff.append(bigEndian ? "MM" : "II");
    put(42, 2);
    put(8, 4); // the first directory right after this header
    put(1, 2); // one entry: the orientation, a 16-bit number
    put(0x0112, 2);
    put(3, 2);
    put(1, 4);
    put(uint32_t(orientation), 2);
    put(0, 2);
    put(0, 4); // no next directory
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(payload.size()) + 2;
    QByteArray segment;
    for (int b : {0xFF, 0xE1, length >> 8, length & 0xFF})
        segment.append(char(b));
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

lumi::Picture decode(const QByteArray& bytes, QSize area = {}) {
    return lumi::decodeJpeg(reinterpret_cast<const uint8_t*>(bytes.constData()),
                            size_t(bytes.size()), area);
}

// The nearest of the four quadrant colours.
int quadrantOf(QColor colour) {
    const QColor quadrants[] = {Qt::red, Qt::green, Qt::blue, Qt::white};
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < 4; ++i) {
        const int d = std::abs(colour.red() - quadrants[i].red()) +
                      std::abs(colour.green() - quadrants[i].green()) +
                      std::abs(colour.blue() - quadrants[i].blue());
        if (d < bestDistance) bestDistance = d, best = i;
    }
    return best;
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
    const int W = 32, H = 16;
    // Where the upright picture's pixel (x, y) lies in the stored one, per the EXIF rules.
    const std::function<QPoint(int, int)> source[] = {
        {},
        [](int x, int y) { return QPoint(x, y); },
        [&](int x, int y) { return QPoint(W - 1 - x, y); },
        [&](int x, int y) { return QPoint(W - 1 - x, H - 1 - y); },
        [&](int x, int y) { return QPoint(x, H - 1 - y); },
        [](int x, int y) { return QPoint(y, x); },
        [&](int x, int y) { return QPoint(y, H - 1 - x); },
        [&](int x, int y) { return QPoint(W - 1 - y, H - 1 - x); },
        [&](int x, int y) { return QPoint(W - 1 - y, x); },
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const lumi::Picture picture = decode(withOrientation(plain, orientation, orientation % 2));
        const QSize upright = orientation >= 5 ? QSize(H, W) : QSize(W, H);
        ASSERT_EQ(picture.natural, upright);
        ASSERT_EQ(picture.image.size(), upright);
        for (const QPoint at :
             {QPoint(4, 4), QPoint(upright.width() - 4, 4), QPoint(4, upright.height() - 4),
              QPoint(upright.width() - 4, upright.height() - 4)}) {
            const QPoint from = source[orientation](at.x(), at.y());
            EXPECT_EQ(quadrantOf(picture.image.pixelColor(at)), quadrantOf(stored.pixelColor(from)))
                << at.x() << "," << at.y();
        }
    }
    // Decoded for an area, a turned picture keeps its upright size.
    EXPECT_EQ(decode(withOrientation(plain, 6, true), {8, 16}).natural, QSize(16, 32));
    // A block that breaks off or lies reads as stored.
    const QByteArray exif = withOrientation(plain, 6, true).mid(6, 30);
    const auto* data = reinterpret_cast<const uint8_t*>(exif.constData());
    EXPECT_EQ(lumi::exifOrientation(data, size_t(exif.size())), 6);
    for (size_t cut = 0; cut < size_t(exif.size()) - 4; ++cut)
        EXPECT_EQ(lumi::exifOrientation(data, cut), 1) << cut;
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

// The stream without its scans of AC coefficients: the DC scans (first and refinements) and
// every other segment stay.
QByteArray withoutAcScans(const QByteArray& jpeg) {
    const auto byte = [&](qsizetype i) { return uint8_t(jpeg[i]); };
    QByteArray kept = jpeg.left(2);
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && byte(at + 1) != 0xD9) {
        const qsizetype length = byte(at + 2) << 8 | byte(at + 3);
        qsizetype end = at + 2 + length;
        const bool scan = byte(at + 1) == 0xDA;
        if (scan) {
            // The scan's data runs to the next marker that is not a stuffed byte or restart.
            while (end + 1 < jpeg.size() && !(byte(end) == 0xFF && byte(end + 1) != 0 &&
                                              (byte(end + 1) < 0xD0 || byte(end + 1) > 0xD7)))
                ++end;
        }
        // Ss, the scan's first coefficient, follows the component selectors.
        if (!scan || byte(at + 5 + 2 * byte(at + 4)) == 0) kept += jpeg.mid(at, end - at);
        at = end;
    }
    return kept + QByteArray("\xFF\xD9", 2);
}

// Decoded scaled down, a progressive picture is read only up to the scans that scale uses;
// the pixels are libjpeg's own for the whole stream.
TEST(JpegVariants, ProgressiveScaledDownComesFromTheScansItUses) {
    QImage source(480, 320, QImage::Format_RGB32);
    QPainter painter(&source);
    QConicalGradient wheel(240, 160, 0);
    wheel.setColorAt(0, Qt::red);
    wheel.setColorAt(0.5, Qt::cyan);
    wheel.setColorAt(1, Qt::red);
    painter.fillRect(source.rect(), wheel);
    painter.end();
    const QSize small(50, 30); // fits an eighth: 60 × 40
    for (const bool grey : {false, true}) {
        SCOPED_TRACE(grey ? "grey" : "colour, halved chroma");
        const QByteArray progressive =
            jpegOf(grey ? source.convertToFormat(QImage::Format_Grayscale8) : source, true);
        const QImage reference = fullDecodeAtAnEighth(progressive);
        ASSERT_EQ(reference.size(), QSize(60, 40));
        const QImage decoded = decode(progressive, small).image;
        EXPECT_EQ(decoded.convertToFormat(QImage::Format_RGBX8888), reference);
        if (!grey) continue;
        // One component: its DC scans alone give the same pixels.
        const QByteArray dcOnly = withoutAcScans(progressive);
        ASSERT_LT(dcOnly.size(), progressive.size() / 2) << "the AC scans were left out";
        EXPECT_EQ(decode(dcOnly, small).image, decoded);
        // A larger scale needs the AC scans too.
        EXPECT_NE(decode(dcOnly, {200, 150}).image, decode(progressive, {200, 150}).image);
        // A stream broken off anywhere decodes what arrived or fails cleanly.
        for (qsizetype cut = 0; cut < progressive.size(); cut += 97) {
            try {
                decode(progressive.left(cut), small);
            } catch (const lumi::PictureError&) {
            }
        }
    }
}

TEST(JpegVariants, PicturesBeyondTheBudgetsAreTooLargeToShow) {
    for (const char* name : {"huge-header.jpg", "huge-progressive.jpg"}) {
        QFile file(QStringLiteral(LUMISIFT_TEST_PICTURES "/") + QString::fromLatin1(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        try {
            decode(file.readAll(), {401, 313});
            ADD_FAILURE() << name;
        } catch (const lumi::PictureError& error) {
            EXPECT_STREQ(error.what(), lumi::TooLargeToShow) << name;
        }
    }
}

} // namespace
