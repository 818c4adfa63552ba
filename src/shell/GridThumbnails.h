#pragma once
// The thumbnails of the results grid: what each cell shows (waiting, the picture, a broken
// mark with its reason, or "large picture"), fetched through ThumbnailFetches, decoded and
// fitted off the UI thread, and kept in a memory cache bounded by its bytes and in a disk
// cache that outlives the run (pruned when the grid starts). Thumbnails are made at the cell's
// size times the screen's device pixel ratio, so they are as sharp at 200 % as at 100 %; the
// disk keeps them at the largest cell size, so zooming needs no network.
// A kept thumbnail a week old is shown and its source asked whether it changed.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <QImage>
#include <QObject>
#include <QThreadPool>

#include "engine/LruCache.h"
#include "engine/ThumbnailDiskCache.h"
#include "engine/ThumbnailFetches.h"

namespace lumi {

// The box a thumbnail is fitted into at first, aspect kept (logical pixels).
inline constexpr int ThumbWidth = 160;
inline constexpr int ThumbHeight = 120;
// Why a JPEG whose data end before anything of it could be drawn is not shown.
inline constexpr const char* PictureCutShort = "picture cut short";
// The decoded thumbnails kept in memory.
inline constexpr size_t ThumbMemoryBytes = size_t(64) << 20;

// The bytes of a thumbnail source as a picture fitted into box (device pixels; upright by its
// own EXIF orientation, then by orientation: an embedded thumbnail's is its picture's); throws
// PictureError for anything that is not a whole picture, PictureCutShort for a JPEG that ends
// early with nothing of it drawn.
QImage decodeThumbnail(const QByteArray& bytes, int orientation = 1,
                       QSize box = QSize(ThumbWidth, ThumbHeight));
// The name a thumbnail is kept under on disk: the picture's address and the size it is kept
// at, so that a screen of another pixel ratio makes its own.
std::string thumbnailDiskKey(const std::string& key, QSize keptBox);
// The box the disk keeps thumbnails at for a screen of ratio device pixels to a logical one:
// the largest cell's, so that zooming needs no network.
QSize keptThumbnailBox(qreal ratio);

class GridThumbnails : public QObject {
public:
    enum class State { Unknown, Waiting, Ready, Broken, Large };

    // A decoder still busy when the grid goes is waited for this long at most; it then ends
    // on its own and its work is dropped.
    static constexpr std::chrono::milliseconds QuitWait{300};

    // cacheFolder: where thumbnails are kept between runs, ending with "/".
    GridThumbnails(std::string settingsPath, std::string cacheFolder, QObject* parent = nullptr);
    ~GridThumbnails() override;

    // What the cell of key shows; image is set for Ready, reason for Broken.
    State state(const std::string& key, const QImage** image, std::string* reason);
    // The requests of the cells on screen and one screen ahead, nearest first; those with a
    // thumbnail, a failure or a decode under way are left out.
    void want(const std::vector<ThumbnailRequest>& wanted);
    // "Load thumbnail": a "large picture" is fetched whatever its size.
    void loadAnyway(const std::string& key);
    // The picture of key as the viewer decoded it: a cell that waits to be asked ("large
    // picture") or has no thumbnail yet gets one made from it, kept on disk as well.
    void adopt(const std::string& key, const QImage& picture);
    // A new search: what is on its way stops; the cached thumbnails stay.
    void clear();
    // The box a cell's thumbnail fills (logical pixels: width wide, three quarters as high),
    // made at ratio device pixels to the logical one. Thumbnails of another size are made anew.
    void setBox(int width, qreal ratio);
    QSize box() const { return box_; }

    ThumbnailFetches& fetches() { return fetches_; }
    // A cell's picture or state changed.
    std::function<void()> OnChanged;
    // How a source's bytes become a thumbnail (decodeThumbnail, or a test's stand-in); run
    // on the decoders' threads.
    std::function<QImage(const QByteArray& bytes, int orientation, QSize box)> Decode =
        decodeThumbnail;

private:
    // What the decoders' work uses, and its way back to this object while it lives.
    struct Shared;
    void fetched(const ThumbnailFetched& outcome);
    void decodeFetched(const ThumbnailFetched& outcome);
    void keepUnchanged(const ThumbnailFetched& outcome);
    // boxes: the count of box changes the decode was made under.
    void decoded(const std::string& key, QImage image, const std::string& reason, uint64_t boxes);
    void decodeFromDisk(const std::string& key);
    // The request for what wanted asks, in the light of what is kept and what failed.
    ThumbnailRequest requestFor(const ThumbnailRequest& wanted) const;
    QSize pixelBox() const { return (QSizeF(box_) * ratio_).toSize(); }
    QSize keptBox() const { return keptThumbnailBox(ratio_); }

    ThumbnailFetches fetches_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<QThreadPool> decoders_;
    LruCache<QImage> images_{ThumbMemoryBytes};
    std::unordered_map<std::string, std::string> broken_; // key -> reason
    std::unordered_set<std::string> large_;
    std::unordered_set<std::string> anyway_; // large pictures the user asked for
    std::unordered_set<std::string> decoding_;
    // Kept thumbnails shown whose sources are to be asked whether they changed.
    std::unordered_map<std::string, ThumbnailSource> rechecks_;
    // The sources left to try for a thumbnail whose bytes did not decode.
    std::unordered_map<std::string, std::vector<ThumbnailSource>> fallbacks_;
    std::unordered_set<std::string> onDisk_; // entry names
    bool diskKnown_ = false;
    std::vector<ThumbnailRequest> lastWanted_;
    QSize box_{ThumbWidth, ThumbHeight};
    qreal ratio_ = 1;
    // Counts box changes: a decode made for an earlier box is not kept.
    uint64_t boxes_ = 0;
};

} // namespace lumi
