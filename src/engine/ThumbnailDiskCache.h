#pragma once
// The grid's thumbnails kept on disk between runs, one file per picture address, named by a
// hash of the address. The folder is kept under a byte bound by pruning the oldest files
// first when the program starts. Every call touches the disk: callers run them off the
// UI thread.
#include <cstdint>
#include <string>
#include <vector>

#include <QByteArray>

namespace lumi {

inline constexpr int64_t ThumbDiskBytes = int64_t(200) << 20;

class ThumbnailDiskCache {
public:
    // folder ends with "/"; it is created on the first write.
    ThumbnailDiskCache(std::string folder, int64_t maxBytes = ThumbDiskBytes);

    // The file name the thumbnail of address is kept under.
    static std::string entryName(const std::string& address);

    // Removes the oldest files (by modification time) until the rest fit the bound; returns
    // the names of those kept.
    std::vector<std::string> prune() const;
    // The bytes kept for address; empty when none.
    QByteArray read(const std::string& address) const;
    // Keeps bytes for address, replacing what was kept; false when the disk refused.
    bool write(const std::string& address, const QByteArray& bytes) const;
    void drop(const std::string& address) const;

private:
    std::string folder_;
    int64_t maxBytes_;
};

} // namespace lumi
