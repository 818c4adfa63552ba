#include "shell/GridThumbnails.h"

#include <QBuffer>
#include <QImageReader>

#include "picture/ExifOrientation.h"
#include "picture/JpegDecode.h"

namespace lumi {

namespace {
// Other formats (a service's PNG or WebP thumbnail) are read by Qt up to this many pixels.
constexpr qint64 OtherFormatPixels = qint64(4096) * 4096;
// Fetched bodies (each up to ThumbMaxKB) waiting for a decoder: past this many, no new fetch
// starts until a decode is done, so a network faster than the decoders cannot pile them up.
constexpr size_t MostWaitingDecodes = 12;
} // namespace

QImage decodeThumbnail(const QByteArray& bytes, int orientation) {
    const QSize box(ThumbWidth, ThumbHeight);
    QImage image;
    if (bytes.startsWith("\xFF\xD8")) {
        image = decodeJpeg(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           static_cast<size_t>(bytes.size()), box)
                    .image;
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
    for (const ThumbnailRequest& request : wanted) {
        if (images_.find(request.key) || broken_.count(request.key) ||
            large_.count(request.key) || decoding_.count(request.key))
            continue;
        if (onDisk_.count(ThumbnailDiskCache::entryName(request.key)))
            decodeFromDisk(request.key);
        else
            asked.push_back(request);
    }
    if (decoding_.size() >= MostWaitingDecodes) asked.clear();
    fetches_.want(std::move(asked));
}

// A kept file that does not decode is dropped, and the thumbnail asked for anew.
void GridThumbnails::decodeFromDisk(const std::string& key) {
    decoding_.insert(key);
    decoders_.start([this, key] {
        try {
            const QImage image = decodeThumbnail(disk_.read(key));
            onUiThread([this, key, image] { decoded(key, image, {}); });
        } catch (const std::exception&) {
            disk_.drop(key);
            onUiThread([this, key] {
                decoding_.erase(key);
                onDisk_.erase(ThumbnailDiskCache::entryName(key));
                want(lastWanted_);
            });
        }
    });
}

void GridThumbnails::clear() {
    fetches_.clear();
    broken_.clear();
    large_.clear();
}

void GridThumbnails::fetched(const ThumbnailFetched& outcome) {
    if (outcome.tooLarge) {
        large_.insert(outcome.key);
    } else if (!outcome.reason.empty()) {
        decoded(outcome.key, {}, outcome.reason);
        return;
    } else {
        decoding_.insert(outcome.key);
        if (decoding_.size() >= MostWaitingDecodes) fetches_.want({});
        decoders_.start([this, key = outcome.key, bytes = outcome.bytes,
                         orientation = outcome.orientation] {
            QImage image;
            std::string reason;
            try {
                image = decodeThumbnail(bytes, orientation);
                QByteArray kept;
                QBuffer buffer(&kept);
                if (buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "JPG", 85) &&
                    disk_.write(key, kept))
                    onUiThread([this, key] { onDisk_.insert(ThumbnailDiskCache::entryName(key)); });
            } catch (const std::exception& e) {
                reason = std::string("Not a picture: ") + e.what();
            }
            onUiThread([this, key, image, reason] { decoded(key, image, reason); });
        });
    }
    if (OnChanged) OnChanged();
}

void GridThumbnails::decoded(const std::string& key, const QImage& image,
                             const std::string& reason) {
    const bool wasFull = decoding_.size() >= MostWaitingDecodes;
    decoding_.erase(key);
    if (reason.empty())
        images_.put(key, image, static_cast<size_t>(image.sizeInBytes()));
    else
        broken_[key] = reason;
    if (wasFull) want(lastWanted_);
    if (OnChanged) OnChanged();
}

} // namespace lumi
