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

bool readOnlyFile(int folder, const std::string& name) {
    struct stat st;
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           (st.st_mode & 0222) == 0;
}
} // namespace

std::unique_ptr<PartFile> PartFile::create(std::shared_ptr<const SaveFolder> folder,
                                           NameClaim claim, std::string& error,
                                           Temporary kind) {
    const FileCalls& calls = folder->calls();
    // An unnamed file needs a hard link for its name: not where names are claimed without.
    if (kind == Temporary::Unnamed && !folder->unnamedFilesRefused() &&
        folder->claimWay() != ClaimWay::Exclusive && canNameUnnamedFiles()) {
        const int fd = calls.openUnnamed(folder->fd(), FileMode);
        if (fd >= 0)
            return std::unique_ptr<PartFile>(
                new PartFile(fd, std::move(folder), std::move(claim), {}));
        // Only a file system without unnamed files falls back; other errors are the answer.
        if (!refusedByFileSystem(errno) && errno != EISDIR) {
            error = systemErrorText(errno);
            return nullptr;
        }
        folder->refuseUnnamedFiles();
    }
    int code = EEXIST;
    for (int n = 0; n < MaxNameTries && code == EEXIST; ++n) {
        std::string temp = hiddenTemporaryName();
        const int fd = calls.createExclusive(folder->fd(), temp, FileMode);
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

// Gives the file name unless the file system says name exists: 0, or the errno (EEXIST
// when taken). The way that works in the folder is remembered, so that a batch asks once.
int PartFile::placeWithoutReplacing(const std::string& name) {
    if (folder_->claimWay() != ClaimWay::Exclusive) {
        const int code = placeAtomically(name);
        if (code == 0 && folder_->claimWay() == ClaimWay::Unknown)
            folder_->setClaimWay(ClaimWay::Atomic);
        // Where the atomic ways worked, a refusal is about this name, not the folder.
        if (!refusedByFileSystem(code) || folder_->claimWay() == ClaimWay::Atomic) return code;
        folder_->setClaimWay(ClaimWay::Exclusive);
    }
    return placeOverOwnClaim(name);
}

int PartFile::placeAtomically(const std::string& name) {
    const int dir = folder_->fd();
    const FileCalls& calls = folder_->calls();
    if (tempName_.empty()) return calls.linkUnnamed(fd_, dir, name) == 0 ? 0 : errno;
    if (calls.rename(dir, tempName_, name, RENAME_NOREPLACE) == 0) {
        tempName_.clear();
        return 0;
    }
    if (!refusedByFileSystem(errno)) return errno;
    // A file system without the flag: a hard link never replaces either.
    if (calls.link(dir, tempName_, name) != 0) return errno;
    calls.unlink(dir, tempName_);
    tempName_.clear();
    return 0;
}

// Every file system can create a name exclusively: the file so created is this file's own,
// and a rename over it replaces nothing of anyone else's.
int PartFile::placeOverOwnClaim(const std::string& name) {
    const int dir = folder_->fd();
    const FileCalls& calls = folder_->calls();
    if (const int code = giveHiddenName(); code != 0) return code;
    const int claim = calls.createExclusive(dir, name, FileMode);
    if (claim < 0) return errno;
    ::close(claim);
    if (calls.rename(dir, tempName_, name, 0) != 0) {
        const int code = errno;
        calls.unlink(dir, name);
        return code;
    }
    tempName_.clear();
    return 0;
}

// An unnamed file needs a name of its own before it can be renamed.
int PartFile::giveHiddenName() {
    for (int n = 0; tempName_.empty() && n < MaxNameTries; ++n) {
        std::string temp = hiddenTemporaryName();
        if (folder_->calls().linkUnnamed(fd_, folder_->fd(), temp) == 0)
            tempName_ = std::move(temp);
        else if (errno != EEXIST)
            return errno;
    }
    return tempName_.empty() ? EEXIST : 0;
}

// Puts the file over name, which held the file the claim allows to replace when looked at:
// 0, EEXIST when another file holds it now, or the errno of a failure. The exchange keeps
// the name taken at every moment, and what comes back is compared before it is let go.
int PartFile::replace(const std::string& name) {
    const int dir = folder_->fd();
    const FileCalls& calls = folder_->calls();
    if (const int code = giveHiddenName(); code != 0) return code;
    if (calls.rename(dir, tempName_, name, RENAME_EXCHANGE) == 0) {
        struct stat st;
        if (calls.stat(dir, tempName_, st) == 0 &&
            FileIdentity{st.st_dev, st.st_ino} == claim_.replaceable) {
            calls.unlink(dir, tempName_);
            tempName_.clear();
            return 0;
        }
        // Another file came since the look: it gets its name back.
        if (calls.rename(dir, tempName_, name, RENAME_EXCHANGE) != 0) {
            // Rare beyond words; the other file must not be removed as this one's temporary.
            tempName_.clear();
            return errno;
        }
        return EEXIST;
    }
    if (!refusedByFileSystem(errno)) return errno;
    // Without an exchange the look just taken is the last word.
    if (calls.rename(dir, tempName_, name, 0) != 0) return errno;
    tempName_.clear();
    return 0;
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
    // The path printed for the file must be where it is.
    if (!folder_->stillAtPath()) return fail(folder_->goneText());
    // After a power cut the name must not stand for an empty file.
    if (const int code = flushed_ ? 0 : flushData(); code != 0) return fail(code);
    std::string name = claim_.name;
    for (int n = 0; n < MaxNameTries; ++n) {
        if (folder_->nameRules().windowsNames && windowsFitName(name) != name) {
            name = windowsFitName(name);
            nameFitted_ = true;
        }
        int code = placeWithoutReplacing(name);
        // A name the file system refuses although no rule said so: names fit from now on.
        if (code == EINVAL && windowsFitName(name) != name) {
            folder_->refusesNames();
            continue;
        }
        if (code == EEXIST && claim_.replaceable && folder_->fileAt(name) == claim_.replaceable) {
            if (readOnlyFile(folder_->fd(), name))
                return fail("Not replaced: " + folder_->pathOf(name) + " is read-only");
            code = replace(name);
            replacedOld_ = code == 0;
        }
        if (code == 0) {
            claim_.name = name;
            const int closed = closeFile() ? 0 : errno;
            // A file system may report a lost write only at the close.
            if (closed != 0) {
                folder_->calls().unlink(folder_->fd(), name);
                error_ = systemErrorText(closed);
                return false;
            }
            return true;
        }
        if (code != EEXIST) return fail(code);
        name = claim_.nextName ? claim_.nextName(name) : std::string();
        if (name.empty()) return fail(EEXIST);
    }
    return fail(EEXIST);
}

void PartFile::discard() {
    if (fd_ >= 0) closeFile();
    if (!tempName_.empty()) {
        folder_->calls().unlink(folder_->fd(), tempName_);
        tempName_.clear();
    }
}

} // namespace lumi
