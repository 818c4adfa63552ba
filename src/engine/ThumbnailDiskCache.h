#pragma once
// The grid's thumbnails kept on disk between runs: one file per picture address, named by a
// hash of the address, holding the fitted thumbnail and where it came from. The folder is
// the program's own: it is never reached through a symbolic link, only the names it gives
// are read, written and pruned there, a file is read only when it opens without blocking as
// a regular file of sane size, and a write that fails leaves nothing behind. Every call
// touches the disk: callers run them off the UI thread (any thread, at once).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QByteArray>

#include "engine/ThumbnailAnswer.h"

namespace lumi {

inline constexpr int64_t ThumbDiskBytes = int64_t(200) << 20;
// A kept thumbnail's source is asked again, with its validators, once it is this old.
inline constexpr int64_t ThumbRecheckSeconds = int64_t(7) * 24 * 60 * 60;

struct ThumbnailRecord {
    QByteArray image;        // the fitted thumbnail, as a JPEG
    ThumbnailSource origin;  // the source it came from, with that answer's validators
    int64_t pictureSize = -1; // the picture's size when an answer told it
    int64_t checkedAt = 0;   // seconds since the epoch when its source last vouched for it
    // The picture waits to be asked for ("large picture"); image is then empty.
    bool large = false;

    bool dueForCheck(int64_t now) const { return now - checkedAt >= ThumbRecheckSeconds; }
};

class ThumbnailDiskCache {
public:
    // folder ends with "/"; it is created on the first write, with its parents.
    ThumbnailDiskCache(std::string folder, int64_t maxBytes = ThumbDiskBytes);

    // The file name the thumbnail of address is kept under.
    static std::string entryName(const std::string& address);

    // Removes the oldest entries (by modification time) until the rest fit the bound, counted
    // by the space they take on the disk; returns the names of those kept. Other files are
    // left alone, and nothing is touched when the folder is a symbolic link.
    std::vector<std::string> prune() const;
    // What is kept for address; nothing when none is, or it is not a record of this cache.
    std::optional<ThumbnailRecord> read(const std::string& address) const;
    // Keeps record for address, replacing what was kept: empty, or the system's text of the
    // failure (nothing of the record is then left).
    std::string write(const std::string& address, const ThumbnailRecord& record) const;
    void drop(const std::string& address) const;

private:
    // The folder's path without its last "/", so that a link there is not followed.
    std::string folderPath() const;

    std::string folder_;
    int64_t maxBytes_;
};

} // namespace lumi
