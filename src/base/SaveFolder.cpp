#include "base/SaveFolder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ErrorReport.h"

namespace lumi {

namespace {
constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::string_view TemporaryPrefix = ".lumisift-";
constexpr std::string_view TemporarySuffix = ".part";

FileIdentity identityOf(const struct stat& info) {
    return {info.st_dev, info.st_ino};
}

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}
} // namespace

bool isTemporaryName(const std::string& name) {
    return name.size() >= TemporaryPrefix.size() + TemporarySuffix.size() &&
           name.compare(0, TemporaryPrefix.size(), TemporaryPrefix) == 0 &&
           name.compare(name.size() - TemporarySuffix.size(), TemporarySuffix.size(),
                        TemporarySuffix) == 0;
}

SaveFolder::SaveFolder(int fd, std::string path, std::shared_ptr<const FileCalls> calls)
    : fd_(fd), path_(std::move(path)), calls_(std::move(calls)), rules_(calls_->nameRules(fd)) {
    struct stat info {};
    if (::fstat(fd_, &info) == 0) identity_ = identityOf(info);
}

std::shared_ptr<SaveFolder> SaveFolder::open(const std::string& path, std::string& error,
                                             std::shared_ptr<const FileCalls> calls) {
    // Resolved once: the folder a link leads to now is the one held, and a link swapped in
    // later is refused by O_NOFOLLOW.
    char resolved[PATH_MAX];
    if (!::realpath(path.empty() ? "." : path.c_str(), resolved)) {
        error = systemErrorText(errno);
        return nullptr;
    }
    return openExactly(resolved, error, std::move(calls));
}

std::shared_ptr<SaveFolder> SaveFolder::openExactly(const std::string& path, std::string& error,
                                                    std::shared_ptr<const FileCalls> calls) {
    const int fd = ::open(path.c_str(), FolderFlags);
    if (fd < 0) {
        error = systemErrorText(errno);
        return nullptr;
    }
    return std::shared_ptr<SaveFolder>(new SaveFolder(fd, path, std::move(calls)));
}

std::shared_ptr<SaveFolder> SaveFolder::openChild(const std::string& name,
                                                  std::string& error) const {
    // A folder that cannot be made says why, not that it is missing.
    const int made = ::mkdirat(fd_, name.c_str(), 0777) == 0 ? 0 : errno;
    const int fd = ::openat(fd_, name.c_str(), FolderFlags);
    if (fd < 0) {
        error = systemErrorText(made != 0 && made != EEXIST && errno == ENOENT ? made : errno);
        return nullptr;
    }
    return std::shared_ptr<SaveFolder>(new SaveFolder(fd, pathOf(name), calls_));
}

SaveFolder::~SaveFolder() {
    ::close(fd_);
}

std::string SaveFolder::pathOf(const std::string& name) const {
    if (path_.empty()) return name;
    return path_.back() == '/' ? path_ + name : path_ + "/" + name;
}

std::optional<FileIdentity> SaveFolder::fileAt(const std::string& name) const {
    struct stat st;
    if (calls_->stat(fd_, name, st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    return identityOf(st);
}

std::optional<FileIdentity> SaveFolder::fileUnchangedSince(const std::string& name,
                                                           const timespec& since) const {
    struct stat st;
    if (calls_->stat(fd_, name, st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    // A name given to a file changes its ctime: a picture saved since is never "old".
    if (!before(st.st_mtim, since) || !before(st.st_ctim, since)) return std::nullopt;
    return identityOf(st);
}

bool SaveFolder::stillAtPath() const {
    struct stat st;
    return ::stat(path_.c_str(), &st) == 0 && identityOf(st) == identity_ && !removed();
}

bool SaveFolder::removed() const {
    struct stat st;
    return ::fstat(fd_, &st) == 0 && st.st_nlink == 0;
}

std::string SaveFolder::goneText() const {
    return "The save folder " + path_ + " was moved or removed during the download";
}

void SaveFolder::sync() const {
    ::fsync(fd_);
}

void SaveFolder::removeStaleTemporaries(std::time_t now) const {
    const int fd = ::dup(fd_);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st;
        if (!isTemporaryName(name) ||
            ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (st.st_mtime < now - StaleTemporaryAge) ::unlinkat(fd_, name.c_str(), 0);
    }
    ::closedir(dir);
}

} // namespace lumi
