#include "engine/CreditsFile.h"

#include <algorithm>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/ErrorReport.h"
#include "base/IniFiles.h"
#include "base/SaveFolder.h"
#include "base/SettingKeys.h"
#include "engine/SmartSave.h"

namespace lumi {

namespace {

constexpr mode_t CreditsMode = 0644;

std::string oneLine(const std::string& text) {
    std::string line;
    for (size_t at = 0; at < text.size();) {
        const size_t length = std::max<size_t>(1, utf8CharLength(text, at));
        const std::string_view ch = std::string_view(text).substr(at, length);
        const auto first = static_cast<unsigned char>(ch[0]);
        const bool control = length == 1 && (first < ' ' || first == 0x7f);
        line += control || misleadingCharacter(ch) ? std::string_view(" ") : ch;
        at += length;
    }
    return line;
}

// An open, locked CREDITS.txt; unlocked and closed at the end.
class LockedCredits {
public:
    LockedCredits(const SaveFolder& folder) : folder_(folder) {}
    ~LockedCredits() {
        if (fd_ >= 0) ::close(fd_); // the lock goes with the descriptor
    }
    LockedCredits(const LockedCredits&) = delete;
    LockedCredits& operator=(const LockedCredits&) = delete;

    // The problem in words, or empty once the file is open and locked. With create false a
    // missing file is no problem, and fd() then stays -1.
    std::string open(bool create) {
        // A writer that renamed a rewrite over the name leaves the locked file nameless:
        // the name is opened anew until the file locked is the one it names.
        for (int tries = 0; tries < 100; ++tries) {
            // Looked at first: opening a pipe for writing could wait for a reader.
            if (::fstatat(folder_.fd(), CreditsFileName, &info_, AT_SYMLINK_NOFOLLOW) == 0) {
                if (!S_ISREG(info_.st_mode)) return "it is not a plain file, so it was not written";
                if ((info_.st_mode & 0222) == 0) return "it is read-only, so it was not written";
            }
            fd_ = ::openat(folder_.fd(), CreditsFileName,
                           O_RDWR | O_APPEND | (create ? O_CREAT : 0) | O_NOFOLLOW | O_NONBLOCK |
                               O_CLOEXEC,
                           CreditsMode);
            if (fd_ < 0 && errno == ENOENT && !create) return {};
            if (fd_ < 0)
                return errno == ELOOP ? "it is not a plain file, so it was not written"
                                      : systemErrorText(errno);
            if (::fstat(fd_, &info_) != 0) return systemErrorText(errno);
            if (!S_ISREG(info_.st_mode)) return "it is not a plain file, so it was not written";
            if ((info_.st_mode & 0222) == 0) return "it is read-only, so it was not written";
            // A file system without locks (some FUSE drivers) still appends whole lines.
            if (::flock(fd_, LOCK_EX) != 0 && !refusedByFileSystem(errno))
                return systemErrorText(errno);
            struct stat named {};
            if (::fstatat(folder_.fd(), CreditsFileName, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                named.st_dev == info_.st_dev && named.st_ino == info_.st_ino) {
                ::fstat(fd_, &info_);
                return {};
            }
            ::close(fd_);
            fd_ = -1;
        }
        return systemErrorText(EAGAIN);
    }

    int fd() const { return fd_; }

    // The whole file, or nothing when it cannot be read or is too large.
    std::optional<std::string> text() const {
        if (info_.st_size > MaxCreditsFileBytes) return std::nullopt;
        const int reader =
            ::openat(folder_.fd(), CreditsFileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (reader < 0) return std::nullopt;
        std::string text(static_cast<size_t>(info_.st_size), '\0');
        const ssize_t got = ::pread(reader, text.data(), text.size(), 0);
        ::close(reader);
        if (got != static_cast<ssize_t>(text.size())) return std::nullopt;
        return text;
    }

    // Adds text after a line end of its own: 0 or the errno.
    int append(std::string text) const {
        char last = '\n';
        if (info_.st_size > 0 && ::pread(fd_, &last, 1, info_.st_size - 1) != 1) last = '\n';
        if (last != '\n') text.insert(0, 1, '\n');
        if (const int code = writeAll(fd_, text); code != 0) return code;
        return ::fdatasync(fd_) == 0 ? 0 : errno;
    }

    // Puts text in the file's place through a temporary of the same mode: 0 or the errno.
    int rewrite(const std::string& text) const {
        const std::string temp = ".lumisift-credits-" + std::to_string(::getpid()) + ".part";
        const int fd = ::openat(folder_.fd(), temp.c_str(),
                                O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, CreditsMode);
        if (fd < 0) return errno;
        int code = writeAll(fd, text);
        if (code == 0 && ::fchmod(fd, info_.st_mode & 07777) != 0) code = errno;
        if (code == 0 && ::fdatasync(fd) != 0) code = errno;
        if (::close(fd) != 0 && code == 0) code = errno;
        if (code == 0 && ::renameat(folder_.fd(), temp.c_str(), folder_.fd(), CreditsFileName) != 0)
            code = errno;
        if (code != 0) ::unlinkat(folder_.fd(), temp.c_str(), 0);
        return code;
    }

private:
    static int writeAll(int fd, const std::string& text) {
        for (size_t done = 0; done < text.size();) {
            const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) return wrote < 0 ? errno : ENOSPC;
            done += static_cast<size_t>(wrote);
        }
        return 0;
    }

    const SaveFolder& folder_;
    int fd_ = -1;
    struct stat info_ {};
};

// text without the lines that credit fileName.
std::string withoutLinesOf(const std::string& text, const std::string& fileName) {
    const std::string prefix = oneLine(fileName) + ":";
    std::string kept;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text.compare(start, prefix.size(), prefix) != 0) kept.append(text, start, end - start);
        start = end;
    }
    if (!kept.empty() && kept.back() != '\n') kept += '\n';
    return kept;
}

} // namespace

bool creditsWanted(const IniEntries& settings) {
    return readSetting(settings, setting::WriteCredits);
}

void writeCreditsWanted(TIniFile& settings, bool wanted) {
    settings.WriteBool(setting::WriteCredits.section, setting::WriteCredits.key, wanted);
}

std::string creditLine(const std::string& fileName, const PictureSource& source) {
    std::string line = oneLine(fileName) + ":";
    if (!source.title.empty()) line += " \"" + oneLine(source.title) + "\"";
    if (!source.creator.empty()) line += " by " + oneLine(source.creator);
    line += (source.title.empty() && source.creator.empty() ? " " : ", ") + oneLine(source.licence);
    if (!source.licenceUrl.empty()) line += " (" + oneLine(source.licenceUrl) + ")";
    if (!source.page.empty()) line += ", from " + oneLine(source.page);
    return line;
}

CreditsJournal::CreditsJournal(std::shared_ptr<const SaveFolder> folder)
    : folder_(std::move(folder)) {}

std::string CreditsJournal::record(const std::string& fileName, const std::string& line,
                                   bool replacing) const {
    const std::string problem =
        "The credits could not be written to " + folder_->pathOf(CreditsFileName) + ": ";
    LockedCredits credits(*folder_);
    if (std::string why = credits.open(!line.empty()); !why.empty()) return problem + why;
    if (credits.fd() < 0) return {};
    const std::string added = line.empty() ? std::string() : oneLine(line) + "\n";
    int code = 0;
    const std::optional<std::string> text = replacing ? credits.text() : std::nullopt;
    if (text)
        code = credits.rewrite(withoutLinesOf(*text, fileName) + added);
    else if (!added.empty())
        code = credits.append(added);
    return code == 0 ? std::string() : problem + systemErrorText(code);
}

std::unique_ptr<CreditsJournal> creditsJournalFor(const IniEntries& settings,
                                                  std::shared_ptr<const SaveFolder> folder) {
    if (!creditsWanted(settings) || !folder) return nullptr;
    return std::make_unique<CreditsJournal>(std::move(folder));
}

} // namespace lumi
