#pragma once
// The thumbnails of the results grid: what each cell shows (waiting, the picture, a broken
// mark with its reason, or "large picture"), fetched through ThumbnailFetches, decoded and
// fitted off the UI thread, and kept in a memory cache bounded by its bytes and in a disk
// cache that outlives the run (pruned when the grid starts). A kept thumbnail a week old is
// shown and its source asked whether it changed.
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

// The box a thumbnail is fitted into, aspect kept.
inline constexpr int ThumbWidth = 160;
inline constexpr int ThumbHeight = 120;
// The decoded thumbnails kept in memory.
inline constexpr size_t ThumbMemoryBytes = size_t(64) << 20;

// The bytes of a thumbnail source as a picture fitted into ThumbWidth x ThumbHeight (upright
// by its own EXIF orientation, then by orientation: an embedded thumbnail's is its
// picture's); throws PictureError for anything that is not a whole picture.
QImage decodeThumbnail(const QByteArray& bytes, int orientation = 1);

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
    // A new search: what is on its way stops; the cached thumbnails stay.
    void clear();

    ThumbnailFetches& fetches() { return fetches_; }
    // A cell's picture or state changed.
    std::function<void()> OnChanged;
    // How a source's bytes become a thumbnail (decodeThumbnail, or a test's stand-in); run
    // on the decoders' threads.
    std::function<QImage(const QByteArray& bytes, int orientation)> Decode = decodeThumbnail;

private:
    // What the decoders' work uses, and its way back to this object while it lives.
    struct Shared;
    void fetched(const ThumbnailFetched& outcome);
    void decodeFetched(const ThumbnailFetched& outcome);
    void keepUnchanged(const ThumbnailFetched& outcome);
    void decoded(const std::string& key, const QImage& image, const std::string& reason);
    void decodeFromDisk(const std::string& key);
    // The request for what wanted asks, in the light of what is kept and what failed.
    ThumbnailRequest requestFor(const ThumbnailRequest& wanted) const;

    ThumbnailFetches fetches_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<QThreadPool> decoders_;
    LruCache<QImage> images_{ThumbMemoryBytes};
    std::unordered_map<std::string, std::string> broken_; // key -> reason
    std::unordered_set<std::string> large_;
    std::unordered_set<std::string> decoding_;
    // Kept thumbnails shown whose sources are to be asked whether they changed.
    std::unordered_map<std::string, ThumbnailSource> rechecks_;
    // The sources left to try for a thumbnail whose bytes did not decode.
    std::unordered_map<std::string, std::vector<ThumbnailSource>> fallbacks_;
    std::unordered_set<std::string> onDisk_; // entry names
    bool diskKnown_ = false;
    std::vector<ThumbnailRequest> lastWanted_;
};

} // namespace lumi
