#include "shell/GridThumbnails.h"

#include <optional>

#include <QBuffer>
#include <QImageReader>

#include "picture/ExifOrientation.h"
#include "picture/JpegDecode.h"
#include "shell/GridCells.h"

namespace lumi {

namespace {
// Other formats (a service's PNG or WebP thumbnail) are read by Qt up to this many pixels.
constexpr qint64 OtherFormatPixels = qint64(4096) * 4096;
// Fetched bodies (each up to ThumbMaxKB) waiting for a decoder: past this many, no new fetch
// starts until a decode is done, so a network faster than the decoders cannot pile them up.
constexpr size_t MostWaitingDecodes = 12;

// Whether a grid of pixels over the picture holds one colour, besides the black the rows the
// data never reached are left at (what libjpeg makes of a scan without its data is flat).
bool blank(const QImage& image) {
    constexpr int Samples = 16;
    const QRgb unreached = qRgb(0, 0, 0);
    std::optional<QRgb> seen;
    for (int y = 0; y < Samples; ++y)
        for (int x = 0; x < Samples; ++x) {
            const QRgb pixel = image.pixel(x * (image.width() - 1) / (Samples - 1),
                                           y * (image.height() - 1) / (Samples - 1));
            if (pixel == unreached) continue;
            if (seen && *seen != pixel) return false;
            seen = pixel;
        }
    return true;
}

bool endsAsJpeg(const QByteArray& bytes) {
    qsizetype end = bytes.size();
    // Some writers pad the end.
    while (end > 0 && bytes[end - 1] == '\0') --end;
    return end >= 2 && bytes[end - 2] == '\xFF' && bytes[end - 1] == '\xD9';
}
} // namespace

// The disk entry that says a picture waits to be asked for ("large picture"), so that the
// next run does not fetch its first bytes again.
std::string largeMarkKey(const std::string& key) {
    return key + "#large";
}

std::string thumbnailDiskKey(const std::string& key, QSize keptBox) {
    return key + "#thumb" + std::to_string(keptBox.width()) + "x" +
           std::to_string(keptBox.height());
}

QImage decodeThumbnail(const QByteArray& bytes, int orientation, QSize box) {
    QImage image;
    if (bytes.startsWith("\xFF\xD8")) {
        image = decodeJpeg(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           static_cast<size_t>(bytes.size()), box)
                    .image;
        if (!image.isNull() && !endsAsJpeg(bytes) && blank(image)) throw PictureError(PictureCutShort);
    } else {
        QBuffer buffer;
        buffer.setData(bytes);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        if (!size.isValid() || qint64(size.width()) * size.height() > OtherFormatPixels)
            throw PictureError(size.isValid() ? TooLargeToShow : "not a picture");
        image = reader.read();
        if (image.isNull()) throw PictureError(reader.errorString().toStdString());
    }
    if (image.isNull()) throw PictureError("not a picture");
    if (orientation != 1) image = orientImage(image, orientation);
    if (image.width() > box.width() || image.height() > box.height())
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    // Painted as it is kept: in the window's own pixel format a cell is a plain copy, where
    // the decoder's byte order would be converted again at every paint.
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
}

GridThumbnails::GridThumbnails(std::string settingsPath, std::string cacheFolder,
                               QObject* parent)
    : QObject(parent), fetches_(std::move(settingsPath), this), disk_(std::move(cacheFolder)) {
    decoders_.setMaxThreadCount(2);
    fetches_.OnFetched = [this](const ThumbnailFetched& outcome) { fetched(outcome); };
    decoders_.start([this] {
        const std::vector<std::string> kept = disk_.prune();
        onUiThread([this, kept] {
            onDisk_.insert(kept.begin(), kept.end());
            diskKnown_ = true;
            want(lastWanted_);
        });
    });
}

GridThumbnails::~GridThumbnails() {
    decoders_.clear();
    decoders_.waitForDone();
}

GridThumbnails::State GridThumbnails::state(const std::string& key, const QImage** image,
                                            std::string* reason) {
    if (const QImage* cached = images_.find(key)) {
        *image = cached;
        return State::Ready;
    }
    if (const auto it = broken_.find(key); it != broken_.end()) {
        *reason = it->second;
        return State::Broken;
    }
    if (large_.count(key)) return State::Large;
    return decoding_.count(key) || fetches_.has(key) ? State::Waiting : State::Unknown;
}

void GridThumbnails::want(const std::vector<ThumbnailRequest>& wanted) {
    lastWanted_ = wanted;
    // The disk is asked before the network: nothing goes out until it is known.
    if (!diskKnown_) return;
    std::vector<ThumbnailRequest> asked;
    const QSize kept = keptBox();
    for (const ThumbnailRequest& request : wanted) {
        if (images_.find(request.key) || broken_.count(request.key) ||
            large_.count(request.key) || decoding_.count(request.key))
            continue;
        if (onDisk_.count(ThumbnailDiskCache::entryName(thumbnailDiskKey(request.key, kept))))
            decodeFromDisk(request.key);
        else if (anyway_.count(request.key))
            asked.push_back({request.key, request.sources, true});
        else if (onDisk_.count(ThumbnailDiskCache::entryName(largeMarkKey(request.key))))
            large_.insert(request.key);
        else
            asked.push_back(request);
    }
    if (decoding_.size() >= MostWaitingDecodes) asked.clear();
    fetches_.want(std::move(asked));
}

// A kept file that does not decode is dropped, and the thumbnail asked for anew.
void GridThumbnails::decodeFromDisk(const std::string& key) {
    decoding_.insert(key);
    decoders_.start([this, key, diskKey = thumbnailDiskKey(key, keptBox()), box = pixelBox(),
                     boxes = boxes_] {
        try {
            const QImage image = decodeThumbnail(disk_.read(diskKey), 1, box);
            onUiThread([this, key, image, boxes] { decoded(key, image, {}, boxes); });
        } catch (const std::exception&) {
            disk_.drop(diskKey);
            onUiThread([this, key, diskKey] {
                decoding_.erase(key);
                onDisk_.erase(ThumbnailDiskCache::entryName(diskKey));
                want(lastWanted_);
            });
        }
    });
}

void GridThumbnails::adopt(const std::string& key, const QImage& picture) {
    if (picture.isNull() || images_.find(key) || decoding_.count(key)) return;
    large_.erase(key);
    broken_.erase(key);
    decoding_.insert(key);
    onDisk_.erase(ThumbnailDiskCache::entryName(largeMarkKey(key)));
    decoders_.start([this, key, picture, keptAt = keptBox(), box = pixelBox(), boxes = boxes_] {
        disk_.drop(largeMarkKey(key));
        const QImage largest =
            picture.scaled(picture.size().boundedTo(keptAt), Qt::KeepAspectRatio,
                           Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_RGB32);
        QByteArray kept;
        QBuffer buffer(&kept);
        const std::string diskKey = thumbnailDiskKey(key, keptAt);
        if (buffer.open(QIODevice::WriteOnly) && largest.save(&buffer, "JPG", 85) &&
            disk_.write(diskKey, kept))
            onUiThread([this, diskKey] { onDisk_.insert(ThumbnailDiskCache::entryName(diskKey)); });
        const QImage image = largest.scaled(largest.size().boundedTo(box), Qt::KeepAspectRatio,
                                            Qt::SmoothTransformation);
        onUiThread([this, key, image, boxes] { decoded(key, image, {}, boxes); });
    });
}

QSize keptThumbnailBox(qreal ratio) {
    return (QSizeF(LargestThumb, LargestThumb * 3 / 4) * ratio).toSize();
}

void GridThumbnails::setBox(int width, qreal ratio) {
    const QSize box(width, width * 3 / 4);
    if (box == box_ && ratio == ratio_) return;
    box_ = box;
    ratio_ = ratio;
    ++boxes_;
    images_ = LruCache<QImage>(ThumbMemoryBytes);
    want(lastWanted_);
}

void GridThumbnails::clear() {
    fetches_.clear();
    broken_.clear();
    large_.clear();
}

void GridThumbnails::loadAnyway(const std::string& key) {
    if (!large_.erase(key)) return;
    anyway_.insert(key);
    onDisk_.erase(ThumbnailDiskCache::entryName(largeMarkKey(key)));
    decoders_.start([this, mark = largeMarkKey(key)] { disk_.drop(mark); });
    want(lastWanted_);
    if (OnChanged) OnChanged();
}

void GridThumbnails::fetched(const ThumbnailFetched& outcome) {
    anyway_.erase(outcome.key);
    if (outcome.tooLarge) {
        large_.insert(outcome.key);
        decoders_.start([this, mark = largeMarkKey(outcome.key)] {
            if (disk_.write(mark, QByteArray("large")))
                onUiThread([this, mark] { onDisk_.insert(ThumbnailDiskCache::entryName(mark)); });
        });
    } else if (!outcome.reason.empty()) {
        decoded(outcome.key, {}, outcome.reason, boxes_);
        return;
    } else {
        decoding_.insert(outcome.key);
        if (decoding_.size() >= MostWaitingDecodes) fetches_.want({});
        decoders_.start([this, key = outcome.key, bytes = outcome.bytes,
                         orientation = outcome.orientation, keptAt = keptBox(), box = pixelBox(),
                         boxes = boxes_] {
            QImage image;
            std::string reason;
            try {
                const QImage largest = decodeThumbnail(bytes, orientation, keptAt);
                image = largest.width() > box.width() || largest.height() > box.height()
                            ? largest.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                            : largest;
                QByteArray kept;
                QBuffer buffer(&kept);
                const std::string diskKey = thumbnailDiskKey(key, keptAt);
                if (buffer.open(QIODevice::WriteOnly) && largest.save(&buffer, "JPG", 85) &&
                    disk_.write(diskKey, kept))
                    onUiThread([this, diskKey] {
                        onDisk_.insert(ThumbnailDiskCache::entryName(diskKey));
                    });
            } catch (const std::exception& e) {
                reason = e.what() == std::string(PictureCutShort)
                             ? std::string(PictureCutShort) + ": its data end before any of it could be drawn"
                             : std::string("Not a picture: ") + e.what();
            }
            onUiThread([this, key, image, reason, boxes] { decoded(key, image, reason, boxes); });
        });
    }
    if (OnChanged) OnChanged();
}

void GridThumbnails::decoded(const std::string& key, QImage image, const std::string& reason,
                             uint64_t boxes) {
    const bool wasFull = decoding_.size() >= MostWaitingDecodes;
    decoding_.erase(key);
    if (boxes != boxes_) {
        // Made for another cell size: asked for anew at this one.
        want(lastWanted_);
    } else if (reason.empty()) {
        image.setDevicePixelRatio(ratio_);
        images_.put(key, image, static_cast<size_t>(image.sizeInBytes()));
    } else
        broken_[key] = reason;
    if (wasFull) want(lastWanted_);
    if (OnChanged) OnChanged();
}

} // namespace lumi
