#include "base/PartFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace lumi {

namespace {
// Temporaries tried beside one final name before the creation is given up.
constexpr int MaxPartNames = 100;

// Longest name of one folder entry.
constexpr size_t MaxNameBytes = 255;

std::string numberedPartPath(const std::string& finalPath, int n) {
    const size_t slash = finalPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // Appended piece by piece: GCC 12 at -O3 reports a false overflow (-Wstringop-overflow)
    // in a one-letter literal added in front of a temporary string.
    std::string suffix;
    if (n > 1) {
        suffix += '.';
        suffix += std::to_string(n);
    }
    suffix += ".part";
    std::string name = finalPath.substr(nameStart);
    // A name that fits as it is must not fail for the length its temporary adds.
    if (1 + name.size() + suffix.size() > MaxNameBytes)
        name.resize(MaxNameBytes > 1 + suffix.size() ? MaxNameBytes - 1 - suffix.size() : 0);
    return finalPath.substr(0, nameStart) + "." + name + suffix;
}
} // namespace

std::string systemErrorText(int code) {
    char buffer[256];
    // The GNU strerror_r returns its text, which need not be in buffer.
    return strerror_r(code, buffer, sizeof buffer);
}

std::string partFilePath(const std::string& finalPath) {
    return numberedPartPath(finalPath, 1);
}

std::unique_ptr<PartFile> PartFile::create(const std::string& finalPath, std::string& error) {
    int code = EEXIST;
    for (int n = 1; n <= MaxPartNames && code == EEXIST; ++n) {
        const std::string temp = numberedPartPath(finalPath, n);
        const int fd =
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) return std::unique_ptr<PartFile>(new PartFile(fd, temp, finalPath));
        code = errno;
    }
    error = systemErrorText(code);
    return nullptr;
}

PartFile::PartFile(int fd, std::string tempPath, std::string finalPath)
    : fd_(fd), tempPath_(std::move(tempPath)), finalPath_(std::move(finalPath)) {}

PartFile::~PartFile() {
    discard();
}

bool PartFile::fail(int code) {
    error_ = systemErrorText(code);
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
    }
    return true;
}

bool PartFile::commit() {
    if (fd_ < 0) return false;
    const int fd = fd_;
    fd_ = -1;
    // A file system may report a lost write only at the close.
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(tempPath_.c_str());
        error_ = systemErrorText(code);
        return false;
    }
    if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
        const int code = errno;
        ::unlink(tempPath_.c_str());
        error_ = systemErrorText(code);
        return false;
    }
    tempPath_.clear();
    return true;
}

void PartFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

} // namespace lumi
