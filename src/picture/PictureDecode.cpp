#include "picture/PictureDecode.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include "base/AppPaths.h"
#include "base/TextOps.h"
#include "picture/GifDecode.h"
#include "picture/JpegDecode.h"

namespace lumi {

namespace {

// The picture of a multi-picture file (an icon with several sizes) that the area shows
// best: the largest that fits it, else the smallest; the largest with no area.
int bestFitting(QImageReader& reader, QSize area) {
    int best = 0;
    QSize bestSize;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i)) break;
        const QSize size = reader.size();
        if (!size.isValid()) continue;
        const bool fits =
            area.isEmpty() || (size.width() <= area.width() && size.height() <= area.height());
        const bool bestFits =
            bestSize.isValid() && (area.isEmpty() || (bestSize.width() <= area.width() &&
                                                      bestSize.height() <= area.height()));
        const int64_t pixels = int64_t(size.width()) * size.height();
        const int64_t bestPixels = int64_t(bestSize.width()) * bestSize.height();
        const bool better =
            !bestSize.isValid() || (fits && !bestFits) ||
            (fits == bestFits && (fits ? pixels > bestPixels : pixels < bestPixels));
        if (better) {
            best = i;
            bestSize = size;
        }
    }
    return best;
}

// BMP and icons go through Qt's reader for that one format, never guessed from the content.
Picture decodeWithQt(const QByteArray& bytes, const char* format, QSize area) {
    QByteArray data = bytes;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    if (reader.imageCount() > 1) {
        const int best = bestFitting(reader, area);
        reader.jumpToImage(best);
    }
    const QSize announced = reader.size();
    if (announced.isValid() && int64_t(announced.width()) * announced.height() > PicturePixelBudget)
        throw PictureError(TooLargeToShow);
    Picture picture;
    picture.image = reader.read();
    if (picture.image.isNull()) throw PictureError(reader.errorString().toStdString());
    picture.natural = picture.image.size();
    return picture;
}

} // namespace

PictureFormat pictureFormatOf(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    const size_t slash = fileName.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && slash > dot))
        return PictureFormat::None;
    const std::string extension = textLower(fileName.substr(dot + 1));
    if (extension == "jpg" || extension == "jpeg") return PictureFormat::Jpeg;
    if (extension == "gif") return PictureFormat::Gif;
    if (extension == "bmp") return PictureFormat::Bmp;
    if (extension == "ico") return PictureFormat::Icon;
    return PictureFormat::None;
}

PictureFormat sniffedPictureFormat(const QByteArray& bytes, PictureFormat named) {
    if (named == PictureFormat::None) return named;
    if (bytes.startsWith("\xFF\xD8")) return PictureFormat::Jpeg;
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a")) return PictureFormat::Gif;
    if (bytes.startsWith("\x89PNG\r\n\x1a\n")) return PictureFormat::Png;
    if (bytes.startsWith("BM")) return PictureFormat::Bmp;
    return named;
}

Picture decodePicture(const QByteArray& bytes, PictureFormat format, QSize area) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const auto size = static_cast<size_t>(bytes.size());
    switch (format) {
    case PictureFormat::Jpeg:
        return decodeJpeg(data, size, area);
    case PictureFormat::Gif:
        return decodeGif(data, size);
    case PictureFormat::Bmp:
        return decodeWithQt(bytes, "bmp", area);
    case PictureFormat::Icon:
        return decodeWithQt(bytes, "ico", area);
    case PictureFormat::Png:
        return decodeWithQt(bytes, "png", area);
    case PictureFormat::None:
        break;
    }
    throw PictureError("no decoder for this kind of file");
}

QByteArray readPictureFile(const std::string& path) {
    QFile file(qtPath(path));
    if (!file.open(QIODevice::ReadOnly)) throw PictureError("picture file cannot be read");
    if (file.size() > PictureFileLimit) throw PictureError("picture file too large");
    return file.read(PictureFileLimit);
}

Picture loadPictureFile(const std::string& path, QSize area) {
    const PictureFormat format = pictureFormatOf(path);
    if (format == PictureFormat::None) throw PictureError("no decoder for this kind of file");
    return decodePicture(readPictureFile(path), format, area);
}

} // namespace lumi
