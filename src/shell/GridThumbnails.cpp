#include "shell/GridThumbnails.h"

#include <mutex>
#include <optional>
#include <thread>

#include <QBuffer>
#include <QDateTime>
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

int64_t nowSeconds() {
    return QDateTime::currentSecsSinceEpoch();
}

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

std::string thumbnailDiskKey(const std::string& key, QSize keptBox) {
    return key + "#thumb" + std::to_string(keptBox.width()) + "x" +
           std::to_string(keptBox.height());
}

QSize keptThumbnailBox(qreal ratio) {
    return (QSizeF(LargestThumb, LargestThumb * 3 / 4) * ratio).toSize();
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

struct GridThumbnails::Shared {
    explicit Shared(std::string folder) : disk(std::move(folder)) {}
    const ThumbnailDiskCache disk;
    std::mutex mutex;
    GridThumbnails* owner = nullptr; // none once it has gone

    // Runs step on the owner's thread, unless the owner has gone by then.
    void deliver(std::function<void(GridThumbnails&)> step) {
        const std::lock_guard lock(mutex);
        if (owner)
            QMetaObject::invokeMethod(
                owner, [to = owner, step = std::move(step)] { step(*to); }, Qt::QueuedConnection);
    }
};

GridThumbnails::GridThumbnails(std::string settingsPath, std::string cacheFolder,
                               QObject* parent)
    : QObject(parent), fetches_(std::move(settingsPath), this),
      shared_(std::make_shared<Shared>(std::move(cacheFolder))),
      decoders_(std::make_unique<QThreadPool>()) {
    shared_->owner = this;
    decoders_->setMaxThreadCount(2);
    fetches_.OnFetched = [this](const ThumbnailFetched& outcome) { fetched(outcome); };
    decoders_->start([shared = shared_] {
        const std::vector<std::string> kept = shared->disk.prune();
        shared->deliver([kept](GridThumbnails& grid) {
            grid.onDisk_.insert(kept.begin(), kept.end());
            grid.diskKnown_ = true;
            grid.want(grid.lastWanted_);
        });
    });
}

GridThumbnails::~GridThumbnails() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->owner = nullptr;
    }
    decoders_->clear();
    // A decoder held up by the disk does not hold up quitting: the pool goes once its last
    // decoder has ended by itself.
    if (!decoders_->waitForDone(int(QuitWait.count())))
        std::thread([pool = decoders_.release()] {
            pool->waitForDone();
            delete pool;
        }).detach();
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

ThumbnailRequest GridThumbnails::requestFor(const ThumbnailRequest& wanted) const {
    ThumbnailRequest request = wanted;
    if (const auto left = fallbacks_.find(wanted.key); left != fallbacks_.end())
        request.sources = left->second;
    else if (const auto kept = rechecks_.find(wanted.key); kept != rechecks_.end())
        request.sources.insert(request.sources.begin(), kept->second);
    return request;
}

void GridThumbnails::want(const std::vector<ThumbnailRequest>& wanted) {
    lastWanted_ = wanted;
    // The disk is asked before the network: nothing goes out until it is known.
    if (!diskKnown_) return;
    std::vector<ThumbnailRequest> asked;
    const QSize kept = keptBox();
    for (const ThumbnailRequest& request : wanted) {
        const std::string& key = request.key;
        if (decoding_.count(key)) continue;
        if (rechecks_.count(key) || fallbacks_.count(key)) {
            asked.push_back(requestFor(request));
        } else if (images_.find(key) || broken_.count(key) || large_.count(key)) {
            continue;
        } else if (onDisk_.count(ThumbnailDiskCache::entryName(thumbnailDiskKey(key, kept)))) {
            decodeFromDisk(key);
        } else {
            asked.push_back(request);
            asked.back().anySize = anyway_.count(key) > 0;
        }
    }
    if (decoding_.size() >= MostWaitingDecodes) asked.clear();
    fetches_.want(std::move(asked));
}

// A kept file that does not decode is dropped, and the thumbnail asked for anew; a kept
// "large picture" verdict stands without a request.
void GridThumbnails::decodeFromDisk(const std::string& key) {
    decoding_.insert(key);
    decoders_->start([shared = shared_, decode = Decode, key,
                      diskKey = thumbnailDiskKey(key, keptBox()), box = pixelBox(),
                      boxes = boxes_] {
        const std::optional<ThumbnailRecord> record = shared->disk.read(diskKey);
        if (record && record->large) {
            shared->deliver([key](GridThumbnails& grid) {
                grid.decoding_.erase(key);
                grid.large_.insert(key);
                grid.want(grid.lastWanted_);
                if (grid.OnChanged) grid.OnChanged();
            });
            return;
        }
        QImage image;
        try {
            if (record) image = decode(record->image, 1, box);
        } catch (const std::exception&) {
        }
        if (image.isNull()) {
            shared->disk.drop(diskKey);
            shared->deliver([key, diskKey](GridThumbnails& grid) {
                grid.decoding_.erase(key);
                grid.onDisk_.erase(ThumbnailDiskCache::entryName(diskKey));
                grid.want(grid.lastWanted_);
            });
            return;
        }
        const bool due = record->dueForCheck(nowSeconds());
        shared->deliver([key, image, due, origin = record->origin, boxes](GridThumbnails& grid) {
            if (due) grid.rechecks_[key] = origin;
            grid.decoded(key, image, {}, boxes);
        });
    });
}

void GridThumbnails::adopt(const std::string& key, const QImage& picture) {
    if (picture.isNull() || images_.find(key) || decoding_.count(key)) return;
    large_.erase(key);
    broken_.erase(key);
    decoding_.insert(key);
    decoders_->start([shared = shared_, key, picture, keptAt = keptBox(), box = pixelBox(),
                      boxes = boxes_] {
        const QImage largest =
            picture.scaled(picture.size().boundedTo(keptAt), Qt::KeepAspectRatio,
                           Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_RGB32);
        QByteArray kept;
        QBuffer buffer(&kept);
        // Written over a "large picture" verdict kept for it.
        const std::string diskKey = thumbnailDiskKey(key, keptAt);
        if (buffer.open(QIODevice::WriteOnly) && largest.save(&buffer, "JPG", 85) &&
            shared->disk.write(diskKey, {kept, {key}, -1, nowSeconds()}).empty())
            shared->deliver([diskKey](GridThumbnails& grid) {
                grid.onDisk_.insert(ThumbnailDiskCache::entryName(diskKey));
            });
        const QImage image = largest.scaled(largest.size().boundedTo(box), Qt::KeepAspectRatio,
                                            Qt::SmoothTransformation);
        shared->deliver([key, image, boxes](GridThumbnails& grid) {
            grid.decoded(key, image, {}, boxes);
        });
    });
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
    fallbacks_.clear();
}

void GridThumbnails::loadAnyway(const std::string& key) {
    if (!large_.erase(key)) return;
    anyway_.insert(key);
    const std::string diskKey = thumbnailDiskKey(key, keptBox());
    onDisk_.erase(ThumbnailDiskCache::entryName(diskKey));
    decoders_->start([shared = shared_, diskKey] { shared->disk.drop(diskKey); });
    want(lastWanted_);
    if (OnChanged) OnChanged();
}

void GridThumbnails::fetched(const ThumbnailFetched& outcome) {
    anyway_.erase(outcome.key);
    rechecks_.erase(outcome.key);
    fallbacks_.erase(outcome.key);
    if (outcome.unchanged) {
        keepUnchanged(outcome);
    } else if (outcome.tooLarge) {
        large_.insert(outcome.key);
        // Kept, so that the next run does not fetch its first bytes again; never over a
        // thumbnail it has.
        if (!images_.find(outcome.key))
            decoders_->start([shared = shared_,
                              diskKey = thumbnailDiskKey(outcome.key, keptBox()),
                              verdict = ThumbnailRecord{{}, outcome.answered, outcome.pictureSize,
                                                        nowSeconds(), true}] {
                if (shared->disk.write(diskKey, verdict).empty())
                    shared->deliver([diskKey](GridThumbnails& grid) {
                        grid.onDisk_.insert(ThumbnailDiskCache::entryName(diskKey));
                    });
            });
    } else if (!outcome.reason.empty()) {
        decoded(outcome.key, {}, outcome.reason, boxes_);
        return;
    } else {
        decodeFetched(outcome);
    }
    if (OnChanged) OnChanged();
}

void GridThumbnails::decodeFetched(const ThumbnailFetched& outcome) {
    decoding_.insert(outcome.key);
    if (decoding_.size() >= MostWaitingDecodes) fetches_.want({});
    decoders_->start([shared = shared_, decode = Decode, outcome, keptAt = keptBox(),
                      box = pixelBox(), boxes = boxes_] {
        QImage largest, image;
        std::string reason;
        try {
            largest = decode(outcome.bytes, outcome.orientation, keptAt);
            image = largest.width() > box.width() || largest.height() > box.height()
                        ? largest.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                        : largest;
        } catch (const std::exception& e) {
            reason = e.what() == std::string(PictureCutShort)
                         ? std::string(PictureCutShort) +
                               ": its data end before any of it could be drawn"
                         : std::string("Not a picture: ") + e.what();
        }
        QByteArray kept;
        QBuffer buffer(&kept);
        const std::string diskKey = thumbnailDiskKey(outcome.key, keptAt);
        if (reason.empty() && buffer.open(QIODevice::WriteOnly) &&
            largest.save(&buffer, "JPG", 85) &&
            shared->disk.write(diskKey, {kept, outcome.answered, outcome.pictureSize, nowSeconds()})
                .empty())
            shared->deliver([diskKey](GridThumbnails& grid) {
                grid.onDisk_.insert(ThumbnailDiskCache::entryName(diskKey));
            });
        shared->deliver([key = outcome.key, untried = outcome.untried, image, reason,
                         boxes](GridThumbnails& grid) {
            // Bytes that do not decode send the request on to the sources it has not tried.
            if (!reason.empty() && !untried.empty() && !grid.images_.find(key)) {
                grid.decoding_.erase(key);
                grid.fallbacks_[key] = untried;
                grid.want(grid.lastWanted_);
                return;
            }
            grid.decoded(key, image, reason, boxes);
        });
    });
}

// The source said the kept thumbnail stands: it is good for another week.
void GridThumbnails::keepUnchanged(const ThumbnailFetched& outcome) {
    decoders_->start([shared = shared_, diskKey = thumbnailDiskKey(outcome.key, keptBox()),
                      answered = outcome.answered] {
        std::optional<ThumbnailRecord> record = shared->disk.read(diskKey);
        if (!record) return;
        record->origin = answered;
        record->checkedAt = nowSeconds();
        shared->disk.write(diskKey, *record);
    });
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
    } else if (!images_.find(key)) {
        broken_[key] = reason;
    }
    if (wasFull) want(lastWanted_);
    if (OnChanged) OnChanged();
}

} // namespace lumi
