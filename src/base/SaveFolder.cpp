#include "base/SaveFolder.h"

#include <cerrno>

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
} // namespace

bool isTemporaryName(const std::string& name) {
    return name.size() >= TemporaryPrefix.size() + TemporarySuffix.size() &&
           name.compare(0, TemporaryPrefix.size(), TemporaryPrefix) == 0 &&
           name.compare(name.size() - TemporarySuffix.size(), TemporarySuffix.size(),
                        TemporarySuffix) == 0;
}

std::shared_ptr<SaveFolder> SaveFolder::open(const std::string& path, std::string& error) {
    const int fd = ::open(path.empty() ? "." : path.c_str(), FolderFlags);
    if (fd < 0) {
        error = systemErrorText(errno);
        return nullptr;
    }
    return std::shared_ptr<SaveFolder>(new SaveFolder(fd, path));
}

std::shared_ptr<SaveFolder> SaveFolder::openChild(const std::string& name,
                                                  std::string& error) const {
    ::mkdirat(fd_, name.c_str(), 0777);
    const int fd = ::openat(fd_, name.c_str(), FolderFlags);
    if (fd < 0) {
        error = systemErrorText(errno);
        return nullptr;
    }
    return std::shared_ptr<SaveFolder>(new SaveFolder(fd, pathOf(name)));
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
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
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
