#include "Pictures.h"

#include <csetjmp>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

namespace lumi::sandbox {

namespace {

// libjpeg must never call exit(): its error exit jumps back into compressRgb, and no C++
// object lives across the setjmp there.
struct JpegErrorJump {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegErrorJump*>(cinfo->err)->jump, 1);
}

// Compresses packed RGB rows; *out is malloc'ed by libjpeg and freed by the caller.
bool compressRgb(const unsigned char* rgb, int width, int height, int quality, unsigned char** out,
                 unsigned long* outSize) {
    jpeg_compress_struct cinfo;
    JpegErrorJump err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegErrorExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(rgb) +
                       static_cast<std::size_t>(cinfo.next_scanline) * width * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

std::string encodeJpeg(const QImage& image, int quality) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<unsigned char> packed(static_cast<std::size_t>(rgb.width()) * rgb.height() * 3);
    for (int y = 0; y < rgb.height(); ++y)
        std::copy_n(rgb.constScanLine(y), rgb.width() * 3,
                    packed.data() + std::size_t(y) * rgb.width() * 3);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const bool ok = compressRgb(packed.data(), rgb.width(), rgb.height(), quality, &out, &outSize);
    std::unique_ptr<unsigned char, decltype(&std::free)> owned(out, &std::free);
    if (!ok || !out) return {};
    return std::string(reinterpret_cast<const char*>(out), outSize);
}

int gifWrite(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

// A 6x6x6 colour cube and 40 greys: enough for drawn patterns and text.
std::string encodeGif(const QImage& image) {
    std::vector<GifColorType> colours(256);
    for (int i = 0; i < 216; ++i)
        colours[i] = {GifByteType(i / 36 * 51), GifByteType(i / 6 % 6 * 51),
                      GifByteType(i % 6 * 51)};
    for (int i = 216; i < 256; ++i)
        colours[i] = {GifByteType((i - 216) * 255 / 39), GifByteType((i - 216) * 255 / 39),
                      GifByteType((i - 216) * 255 / 39)};
    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, gifWrite, &error);
    if (!gif) return {};
    std::unique_ptr<GifFileType, void (*)(GifFileType*)> guard(gif, [](GifFileType* g) {
        int closeError = 0;
        EGifCloseFile(g, &closeError);
    });
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    if (!map) return {};
    const bool ok =
        EGifPutScreenDesc(gif, image.width(), image.height(), 8, 0, map) == GIF_OK &&
        EGifPutImageDesc(gif, 0, 0, image.width(), image.height(), false, nullptr) == GIF_OK;
    GifFreeMapObject(map);
    if (!ok) return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    std::vector<GifPixelType> line(static_cast<std::size_t>(rgb.width()));
    for (int y = 0; y < rgb.height(); ++y) {
        const unsigned char* p = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x, p += 3) {
            const int r = (p[0] + 25) / 51, g = (p[1] + 25) / 51, b = (p[2] + 25) / 51;
            line[x] = static_cast<GifPixelType>(r * 36 + g * 6 + b);
        }
        if (EGifPutLine(gif, line.data(), rgb.width()) != GIF_OK) return {};
    }
    guard.reset();
    return out;
}

QImage drawPicture(const PictureRecipe& recipe, int width, int height, int noise) {
    std::mt19937_64 rng(recipe.seed);
    QImage image(width, height, QImage::Format_RGB32);
    // One draw per statement: C++ leaves the order of arguments open, the pictures must not.
    const int hue = int(rng() % 360);
    const int saturation = 120 + int(rng() % 120);
    const int value = 170 + int(rng() % 80);
    const int hue2 = (hue + 150 + int(rng() % 60)) % 360;
    const int saturation2 = 140 + int(rng() % 100);
    const int value2 = 90 + int(rng() % 100);
    const QColor first = QColor::fromHsv(hue, saturation, value);
    const QColor second = QColor::fromHsv(hue2, saturation2, value2);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    image.fill(first);
    const int step = std::max(6, width / (6 + int(rng() % 10)));
    switch (rng() % 4) {
    case 0: // diagonal stripes
        painter.setPen(QPen(second, step / 2));
        for (int x = -height; x < width + height; x += step)
            painter.drawLine(x, 0, x + height, height);
        break;
    case 1: // checker board
        for (int y = 0; y < height; y += step)
            for (int x = 0; x < width; x += step)
                if (((x + y) / step) % 2) painter.fillRect(x, y, step, step, second);
        break;
    case 2: // rings
        painter.setPen(QPen(second, std::max(2, step / 3)));
        for (int r = step; r < width + height; r += step)
            painter.drawEllipse(QPoint(width / 2, height / 2), r, r);
        break;
    default: { // gradient
        QLinearGradient gradient(0, 0, width, height);
        gradient.setColorAt(0, first);
        gradient.setColorAt(1, second);
        painter.fillRect(image.rect(), gradient);
        break;
    }
    }
    const QString phrase =
        QString::fromLatin1(recipe.phrase.data(), qsizetype(recipe.phrase.size()));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(std::max(8, height / 4));
    while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(phrase) > width * 9 / 10)
        font.setPixelSize(font.pixelSize() - 1);
    QPainterPath path;
    const int textWidth = QFontMetrics(font).horizontalAdvance(phrase);
    path.addText((width - textWidth) / 2.0, height / 2.0 + font.pixelSize() / 3.0, font, phrase);
    painter.setPen(QPen(Qt::black, std::max(1, font.pixelSize() / 12)));
    painter.setBrush(Qt::white);
    painter.drawPath(path);
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(std::max(7, height / 14));
    painter.setFont(small);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, height * 3 / 4, width, height / 4), Qt::AlignCenter,
                     QString::fromLatin1(recipe.label.data(), qsizetype(recipe.label.size())));
    painter.end();
    if (noise > 0) {
        uint64_t state = recipe.seed | 1;
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                const auto shake = [&](int channel, int shift) {
                    const int delta = int((state >> shift) % uint64_t(2 * noise + 1)) - noise;
                    return std::clamp(channel + delta, 0, 255);
                };
                const QRgb c = row[x];
                row[x] = qRgb(shake(qRed(c), 5), shake(qGreen(c), 21), shake(qBlue(c), 37));
            }
        }
    }
    return image;
}

std::mutex& renderMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

const char* pictureMimeType(PictureFormat format) {
    return format == PictureFormat::Gif ? "image/gif" : "image/jpeg";
}

std::string renderPicture(const PictureRecipe& recipe) {
    // Font rendering is kept on one thread at a time; the server renders from its workers.
    std::lock_guard<std::mutex> lock(renderMutex());
    std::mt19937_64 rng(recipe.seed ^ 0x9e3779b97f4a7c15ull);
    if (recipe.format == PictureFormat::Gif) {
        // Medium GIFs carry noise, so that they too weigh more than the lower bound.
        const bool medium = recipe.sizeClass != SizeClass::Small;
        const int width = (medium ? 320 : 160) + int(rng() % 160);
        return encodeGif(drawPicture(recipe, width, width * 3 / 4, medium ? 14 : 0));
    }
    int width = 0, quality = 0, noise = 0;
    switch (recipe.sizeClass) {
    case SizeClass::Small:
        width = 120 + int(rng() % 40), quality = 40, noise = 0;
        break;
    case SizeClass::Medium:
        width = 360 + int(rng() % 400), quality = 80, noise = 4;
        break;
    case SizeClass::Large:
        width = 1700 + int(rng() % 200), quality = 92, noise = 40;
        break;
    }
    std::string bytes;
    // Encoded sizes depend on the drawing; step the parameters until the class holds.
    for (int attempt = 0; attempt < 12; ++attempt) {
        bytes = encodeJpeg(drawPicture(recipe, width, width * 3 / 4, noise), quality);
        const std::size_t n = bytes.size();
        if (recipe.sizeClass == SizeClass::Small) {
            if (n <= kSmallPictureMaxBytes) break;
            width = width * 4 / 5, quality = std::max(10, quality - 10);
        } else if (recipe.sizeClass == SizeClass::Medium) {
            if (n >= kMediumPictureMinBytes && n <= kMediumPictureMaxBytes) break;
            if (n < kMediumPictureMinBytes)
                noise += 6, quality = std::min(95, quality + 5);
            else
                width = width * 4 / 5, noise = noise / 2;
        } else {
            if (n >= kLargePictureMinBytes) break;
            width = width * 6 / 5, noise += 20, quality = std::min(97, quality + 2);
        }
    }
    return bytes;
}

} // namespace lumi::sandbox
