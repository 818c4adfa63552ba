#include "shell/GridThumbnails.h"

#include <mutex>
#include <optional>
#include <thread>

#include <QBuffer>
#include <QDateTime>
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

int64_t nowSeconds() {
    return QDateTime::currentSecsSinceEpoch();
}
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
    for (const ThumbnailRequest& request : wanted) {
        const std::string& key = request.key;
        if (decoding_.count(key)) continue;
        if (rechecks_.count(key) || fallbacks_.count(key))
            asked.push_back(requestFor(request));
        else if (images_.find(key) || broken_.count(key) || large_.count(key))
            continue;
        else if (onDisk_.count(ThumbnailDiskCache::entryName(key)))
            decodeFromDisk(key);
        else
            asked.push_back(request);
    }
    if (decoding_.size() >= MostWaitingDecodes) asked.clear();
    fetches_.want(std::move(asked));
}

// A kept file that does not decode is dropped, and the thumbnail asked for anew.
void GridThumbnails::decodeFromDisk(const std::string& key) {
    decoding_.insert(key);
    decoders_->start([shared = shared_, decode = Decode, key] {
        const std::optional<ThumbnailRecord> record = shared->disk.read(key);
        QImage image;
        try {
            if (record) image = decode(record->image, 1);
        } catch (const std::exception&) {
        }
        if (image.isNull()) {
            shared->disk.drop(key);
            shared->deliver([key](GridThumbnails& grid) {
                grid.decoding_.erase(key);
                grid.onDisk_.erase(ThumbnailDiskCache::entryName(key));
                grid.want(grid.lastWanted_);
            });
            return;
        }
        const bool due = record->dueForCheck(nowSeconds());
        shared->deliver([key, image, due, origin = record->origin](GridThumbnails& grid) {
            if (due) grid.rechecks_[key] = origin;
            grid.decoded(key, image, {});
        });
    });
}

void GridThumbnails::clear() {
    fetches_.clear();
    broken_.clear();
    large_.clear();
    fallbacks_.clear();
}

void GridThumbnails::fetched(const ThumbnailFetched& outcome) {
    rechecks_.erase(outcome.key);
    fallbacks_.erase(outcome.key);
    if (outcome.unchanged) {
        keepUnchanged(outcome);
    } else if (outcome.tooLarge) {
        large_.insert(outcome.key);
    } else if (!outcome.reason.empty()) {
        decoded(outcome.key, {}, outcome.reason);
        return;
    } else {
        decodeFetched(outcome);
    }
    if (OnChanged) OnChanged();
}

void GridThumbnails::decodeFetched(const ThumbnailFetched& outcome) {
    decoding_.insert(outcome.key);
    if (decoding_.size() >= MostWaitingDecodes) fetches_.want({});
    decoders_->start([shared = shared_, decode = Decode, outcome] {
        QImage image;
        std::string reason;
        try {
            image = decode(outcome.bytes, outcome.orientation);
        } catch (const std::exception& e) {
            reason = std::string("Not a picture: ") + e.what();
        }
        QByteArray kept;
        QBuffer buffer(&kept);
        if (reason.empty() && buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "JPG", 85) &&
            shared->disk
                .write(outcome.key, {kept, outcome.answered, outcome.pictureSize, nowSeconds()})
                .empty())
            shared->deliver([key = outcome.key](GridThumbnails& grid) {
                grid.onDisk_.insert(ThumbnailDiskCache::entryName(key));
            });
        shared->deliver([key = outcome.key, untried = outcome.untried, image,
                         reason](GridThumbnails& grid) {
            // Bytes that do not decode send the request on to the sources it has not tried.
            if (!reason.empty() && !untried.empty() && !grid.images_.find(key)) {
                grid.decoding_.erase(key);
                grid.fallbacks_[key] = untried;
                grid.want(grid.lastWanted_);
                return;
            }
            grid.decoded(key, image, reason);
        });
    });
}

// The source said the kept thumbnail stands: it is good for another week.
void GridThumbnails::keepUnchanged(const ThumbnailFetched& outcome) {
    decoders_->start([shared = shared_, key = outcome.key, answered = outcome.answered] {
        std::optional<ThumbnailRecord> record = shared->disk.read(key);
        if (!record) return;
        record->origin = answered;
        record->checkedAt = nowSeconds();
        shared->disk.write(key, *record);
    });
}

void GridThumbnails::decoded(const std::string& key, const QImage& image,
                             const std::string& reason) {
    const bool wasFull = decoding_.size() >= MostWaitingDecodes;
    decoding_.erase(key);
    if (reason.empty())
        images_.put(key, image, static_cast<size_t>(image.sizeInBytes()));
    else if (!images_.find(key))
        broken_[key] = reason;
    if (wasFull) want(lastWanted_);
    if (OnChanged) OnChanged();
}

} // namespace lumi
