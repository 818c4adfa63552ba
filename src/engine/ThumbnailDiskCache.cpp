#include "engine/ThumbnailDiskCache.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>

#include "base/AppPaths.h"
#include "base/PartFile.h"
#include "base/SaveFolder.h"

namespace lumi {

namespace {
// A thumbnail file is never larger than this; anything bigger found there is not read.
constexpr off_t EntryLimit = off_t(4) << 20;
constexpr std::string_view EntrySuffix = ".thumb";
// SHA-1 in hex.
constexpr size_t EntryHashLength = 40;

// A record starts with this line, then "field value" lines, an empty line and the image.
constexpr std::string_view RecordMagic = "lumisift-thumbnail 1\n";

bool isEntryName(const std::string& name) {
    return name.size() == EntryHashLength + EntrySuffix.size() &&
           name.compare(EntryHashLength, EntrySuffix.size(), EntrySuffix) == 0 &&
           std::all_of(name.begin(), name.begin() + EntryHashLength,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool holdsLineBreak(const std::string& value) {
    return value.find_first_of("\r\n") != std::string::npos;
}

QByteArray recordBytes(const ThumbnailRecord& record) {
    std::string head(RecordMagic);
    const auto field = [&head](std::string_view name, const std::string& value) {
        head.append(name).append(" ").append(value).append("\n");
    };
    field("source", record.origin.address);
    field("embedded", record.origin.embedded ? "1" : "0");
    field("etag", record.origin.etag);
    field("modified", record.origin.lastModified);
    field("size", std::to_string(record.pictureSize));
    field("checked", std::to_string(record.checkedAt));
    if (record.large) field("large", "1");
    head += "\n";
    return QByteArray::fromStdString(head) + record.image;
}

int64_t numberOr(std::string_view text, int64_t fallback) {
    int64_t value = fallback;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : fallback;
}

// Fields it does not know are passed over, so that a later version's records still read.
std::optional<ThumbnailRecord> parseRecord(const QByteArray& bytes) {
    const std::string_view text(bytes.constData(), size_t(bytes.size()));
    if (text.substr(0, RecordMagic.size()) != RecordMagic) return std::nullopt;
    ThumbnailRecord record;
    size_t at = RecordMagic.size();
    for (;;) {
        const size_t end = text.find('\n', at);
        if (end == std::string_view::npos) return std::nullopt;
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) break;
        const size_t blank = line.find(' ');
        const std::string_view name = line.substr(0, blank);
        const std::string value(blank == std::string_view::npos ? "" : line.substr(blank + 1));
        if (name == "source") record.origin.address = value;
        if (name == "embedded") record.origin.embedded = value == "1";
        if (name == "etag") record.origin.etag = value;
        if (name == "modified") record.origin.lastModified = value;
        if (name == "size") record.pictureSize = numberOr(value, -1);
        if (name == "checked") record.checkedAt = numberOr(value, 0);
        if (name == "large") record.large = value == "1";
    }
    record.image = bytes.mid(qsizetype(at));
    return record;
}

class OpenFile {
public:
    explicit OpenFile(int fd) : fd_(fd) {}
    ~OpenFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// The whole of a regular file of at most EntryLimit bytes; nothing for anything else. A FIFO
// or device opens without waiting for a peer and is refused by its type.
std::optional<QByteArray> readEntry(int folder, const std::string& name) {
    const OpenFile file(
        ::openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (file.fd() < 0 || ::fstat(file.fd(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > EntryLimit)
        return std::nullopt;
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(file.fd(), bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}
} // namespace

ThumbnailDiskCache::ThumbnailDiskCache(std::string folder, int64_t maxBytes)
    : folder_(std::move(folder)), maxBytes_(maxBytes) {}

std::string ThumbnailDiskCache::entryName(const std::string& address) {
    return QCryptographicHash::hash(QByteArray::fromStdString(address), QCryptographicHash::Sha1)
               .toHex()
               .toStdString() +
           std::string(EntrySuffix);
}

std::string ThumbnailDiskCache::folderPath() const {
    std::string path = folder_;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::vector<std::string> ThumbnailDiskCache::prune() const {
    std::string error;
    const auto folder = SaveFolder::openExactly(folderPath(), error);
    if (!folder) return {};
    folder->removeStaleTemporaries(std::time(nullptr));
    struct Entry {
        std::string name;
        timespec modified;
        int64_t bytes;
    };
    std::vector<Entry> entries;
    const int listed = ::dup(folder->fd());
    DIR* dir = listed < 0 ? nullptr : ::fdopendir(listed);
    if (!dir) {
        if (listed >= 0) ::close(listed);
        return {};
    }
    // The copy shares its position with the folder's descriptor, which a listing may have
    // left at the end.
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st;
        if (isEntryName(entry->d_name) &&
            ::fstatat(folder->fd(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode))
            entries.push_back({entry->d_name, st.st_mtim, int64_t(st.st_blocks) * 512});
    }
    ::closedir(dir);
    // Newest first: they are kept while the bound allows.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.modified.tv_sec != b.modified.tv_sec ? a.modified.tv_sec > b.modified.tv_sec
                                                      : a.modified.tv_nsec > b.modified.tv_nsec;
    });
    std::vector<std::string> kept;
    int64_t total = 0;
    for (const Entry& entry : entries) {
        total += entry.bytes;
        if (total > maxBytes_)
            ::unlinkat(folder->fd(), entry.name.c_str(), 0);
        else
            kept.push_back(entry.name);
    }
    return kept;
}

std::optional<ThumbnailRecord> ThumbnailDiskCache::read(const std::string& address) const {
    std::string error;
    const auto folder = SaveFolder::openExactly(folderPath(), error);
    if (!folder) return std::nullopt;
    const std::optional<QByteArray> bytes = readEntry(folder->fd(), entryName(address));
    return bytes ? parseRecord(*bytes) : std::nullopt;
}

std::string ThumbnailDiskCache::write(const std::string& address,
                                      const ThumbnailRecord& record) const {
    const ThumbnailSource& origin = record.origin;
    if (holdsLineBreak(origin.address) || holdsLineBreak(origin.etag) ||
        holdsLineBreak(origin.lastModified))
        return "A line break in the thumbnail's source or its validators";
    const std::string path = folderPath();
    QDir().mkpath(qtPath(path));
    std::string error;
    const auto folder = SaveFolder::openExactly(path, error);
    if (!folder) return error;
    NameClaim claim;
    claim.name = entryName(address);
    claim.replaceable = folder->fileAt(claim.name);
    const std::unique_ptr<PartFile> file = PartFile::create(folder, std::move(claim), error);
    if (!file) return error;
    const QByteArray bytes = recordBytes(record);
    if (!file->write(bytes.constData(), size_t(bytes.size())) || !file->commit())
        return file->error();
    return {};
}

void ThumbnailDiskCache::drop(const std::string& address) const {
    std::string error;
    if (const auto folder = SaveFolder::openExactly(folderPath(), error))
        ::unlinkat(folder->fd(), entryName(address).c_str(), 0);
}

} // namespace lumi
