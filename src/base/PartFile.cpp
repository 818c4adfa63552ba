#include "base/PartFile.h"

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ErrorReport.h"

namespace lumi {

namespace {
// Hidden names or taken final names tried before a creation or a claim is given up.
constexpr int MaxNameTries = 10000;

constexpr int FileMode = 0644;

// Bytes received between two starts of the write-back.
constexpr off_t WriteBackStep = 256 * 1024;

std::string hiddenTemporaryName() {
    static std::atomic<unsigned> counter{0};
    return ".lumisift-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".part";
}

// An unnamed file gets a name through its /proc link; without /proc it cannot.
bool canNameUnnamedFiles() {
    return ::access("/proc/self/fd", X_OK) == 0;
}

std::string procLink(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

bool readOnlyFile(int folder, const std::string& name) {
    struct stat st;
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           (st.st_mode & 0222) == 0;
}
} // namespace

std::unique_ptr<PartFile> PartFile::create(std::shared_ptr<const SaveFolder> folder,
                                           NameClaim claim, std::string& error,
                                           Temporary kind) {
    if (kind == Temporary::Unnamed && canNameUnnamedFiles()) {
        const int fd = ::openat(folder->fd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, FileMode);
        if (fd >= 0)
            return std::unique_ptr<PartFile>(
                new PartFile(fd, std::move(folder), std::move(claim), {}));
        // Only a file system without unnamed files falls back; other errors are the answer.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            error = systemErrorText(errno);
            return nullptr;
        }
    }
    int code = EEXIST;
    for (int n = 0; n < MaxNameTries && code == EEXIST; ++n) {
        std::string temp = hiddenTemporaryName();
        const int fd = ::openat(folder->fd(), temp.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, FileMode);
        if (fd >= 0)
            return std::unique_ptr<PartFile>(
                new PartFile(fd, std::move(folder), std::move(claim), std::move(temp)));
        code = errno;
    }
    error = systemErrorText(code);
    return nullptr;
}

std::shared_ptr<SaveFolder> openFolderOf(const std::string& path, NameClaim& claim,
                                         std::string& error) {
    const size_t slash = path.rfind('/');
    auto folder = SaveFolder::open(
        slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash), error);
    if (!folder) return nullptr;
    claim = NameClaim{};
    claim.name = slash == std::string::npos ? path : path.substr(slash + 1);
    claim.replaceable = folder->fileAt(claim.name);
    return folder;
}

std::unique_ptr<PartFile> PartFile::create(const std::string& finalPath, std::string& error) {
    NameClaim claim;
    auto folder = openFolderOf(finalPath, claim, error);
    if (!folder) return nullptr;
    return create(std::move(folder), std::move(claim), error);
}

PartFile::PartFile(int fd, std::shared_ptr<const SaveFolder> folder, NameClaim claim,
                   std::string tempName)
    : fd_(fd), folder_(std::move(folder)), claim_(std::move(claim)),
      tempName_(std::move(tempName)) {}

PartFile::~PartFile() {
    discard();
}

std::string PartFile::tempPath() const {
    return tempName_.empty() ? std::string() : folder_->pathOf(tempName_);
}

bool PartFile::fail(int code) {
    return fail(systemErrorText(code));
}

bool PartFile::fail(std::string text) {
    error_ = std::move(text);
    discard();
    return false;
}

bool PartFile::write(const char* data, size_t size) {
    if (fd_ < 0) return false;
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0 && errno == EINTR) continue;
        // A write that takes nothing without an error would loop for ever; call it a full disk.
        if (written <= 0) return fail(written < 0 ? errno : ENOSPC);
        data += written;
        size -= static_cast<size_t>(written);
        written_ += written;
    }
    // Writing back as the data arrives leaves little for the flush before the name.
    if (written_ - writtenBack_ >= WriteBackStep) {
        ::sync_file_range(fd_, writtenBack_, written_ - writtenBack_, SYNC_FILE_RANGE_WRITE);
        writtenBack_ = written_;
    }
    return true;
}

// Gives the file name unless name exists: 0, or -1 with errno set (EEXIST when taken).
int PartFile::placeWithoutReplacing(const std::string& name) {
    const int dir = folder_->fd();
    if (tempName_.empty())
        return ::linkat(AT_FDCWD, procLink(fd_).c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW);
    if (::renameat2(dir, tempName_.c_str(), dir, name.c_str(), RENAME_NOREPLACE) == 0) {
        tempName_.clear();
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without the flag: a hard link never replaces either.
    if (::linkat(dir, tempName_.c_str(), dir, name.c_str(), 0) != 0) return -1;
    ::unlinkat(dir, tempName_.c_str(), 0);
    tempName_.clear();
    return 0;
}

// Puts the file over name, which holds the file the claim allows to replace.
bool PartFile::replace(const std::string& name) {
    const int dir = folder_->fd();
    if (readOnlyFile(dir, name))
        return fail("Not replaced: " + folder_->pathOf(name) + " is read-only");
    // An unnamed file needs a name of its own before it can be renamed over another.
    for (int n = 0; tempName_.empty() && n < MaxNameTries; ++n) {
        std::string temp = hiddenTemporaryName();
        if (::linkat(AT_FDCWD, procLink(fd_).c_str(), dir, temp.c_str(), AT_SYMLINK_FOLLOW) == 0)
            tempName_ = std::move(temp);
        else if (errno != EEXIST)
            return fail(errno);
    }
    if (tempName_.empty()) return fail(EEXIST);
    if (::renameat(dir, tempName_.c_str(), dir, name.c_str()) != 0) return fail(errno);
    tempName_.clear();
    return true;
}

bool PartFile::closeFile() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
}

int PartFile::flushData() {
    if (::fdatasync(fd_) != 0) return errno;
    flushed_ = true;
    return 0;
}

bool PartFile::commit() {
    if (fd_ < 0) return false;
    // After a power cut the name must not stand for an empty file.
    if (const int code = flushed_ ? 0 : flushData(); code != 0) return fail(code);
    std::string name = claim_.name;
    for (int n = 0; n < MaxNameTries; ++n) {
        bool placed = placeWithoutReplacing(name) == 0;
        if (!placed && errno != EEXIST) return fail(errno);
        if (!placed && claim_.replaceable && folder_->fileAt(name) == claim_.replaceable) {
            if (!replace(name)) return false;
            placed = true;
        }
        if (placed) {
            claim_.name = name;
            const int code = closeFile() ? 0 : errno;
            // A file system may report a lost write only at the close.
            if (code != 0) {
                ::unlinkat(folder_->fd(), name.c_str(), 0);
                error_ = systemErrorText(code);
                return false;
            }
            return true;
        }
        name = claim_.nextName ? claim_.nextName(name) : std::string();
        if (name.empty()) return fail(EEXIST);
    }
    return fail(EEXIST);
}

void PartFile::discard() {
    if (fd_ >= 0) closeFile();
    if (!tempName_.empty()) {
        ::unlinkat(folder_->fd(), tempName_.c_str(), 0);
        tempName_.clear();
    }
}

} // namespace lumi
