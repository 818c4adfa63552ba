#include "base/FileCalls.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QString>

#include "base/TextOps.h"

namespace lumi {

namespace {

constexpr long MsdosMagic = 0x4d44;
constexpr long ExfatMagic = 0x2011BAB0;
constexpr long NtfsMagic = 0x5346544e;  // the ntfs driver
constexpr long Ntfs3Magic = 0x7366746e; // ntfs3
constexpr long FuseMagic = 0x65735546;

struct MountEntry {
    std::string type;
    std::string options;
};

// The file system type and options /proc/self/mountinfo gives the device device.
MountEntry mountOf(dev_t device) {
    std::ifstream info("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    for (std::string line; std::getline(info, line);) {
        std::istringstream fields(line);
        std::string id, parent, numbers;
        fields >> id >> parent >> numbers;
        if (numbers != wanted) continue;
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream tail(line.substr(dash + 3));
        MountEntry entry;
        std::string source;
        tail >> entry.type >> source >> entry.options;
        return entry;
    }
    return {};
}

bool hasOption(const std::string& options, std::string_view option) {
    for (size_t start = 0; start <= options.size();) {
        const size_t end = std::min(options.find(',', start), options.size());
        if (std::string_view(options).substr(start, end - start) == option) return true;
        start = end + 1;
    }
    return false;
}

} // namespace

int FileCalls::openUnnamed(int dir, mode_t mode) const {
    return ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

int FileCalls::createExclusive(int dir, const std::string& name, mode_t mode) const {
    return ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

int FileCalls::rename(int dir, const std::string& from, const std::string& to,
                      unsigned flags) const {
    return ::renameat2(dir, from.c_str(), dir, to.c_str(), flags);
}

int FileCalls::linkUnnamed(int fd, int dir, const std::string& name) const {
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, proc.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW);
}

int FileCalls::link(int dir, const std::string& from, const std::string& to) const {
    return ::linkat(dir, from.c_str(), dir, to.c_str(), 0);
}

int FileCalls::unlink(int dir, const std::string& name) const {
    return ::unlinkat(dir, name.c_str(), 0);
}

int FileCalls::stat(int dir, const std::string& name, struct stat& info) const {
    return ::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW);
}

NameRules FileCalls::nameRules(int dir) const {
    NameRules rules;
    struct statfs fs {};
    struct stat info {};
    if (::fstatfs(dir, &fs) != 0 || ::fstat(dir, &info) != 0) return rules;
    const long type = static_cast<long>(fs.f_type);
    if (type == MsdosMagic || type == ExfatMagic) return {true, true};
    if (type == NtfsMagic || type == Ntfs3Magic) {
        const MountEntry mount = mountOf(info.st_dev);
        return {hasOption(mount.options, "windows_names"), true};
    }
    if (type == FuseMagic) {
        // Of the FUSE file systems a block device's (exfat-fuse, ntfs-3g) and the FAT ones
        // keep Windows' rules; case is taken to fold there, as it may.
        const std::string mountType = textLower(mountOf(info.st_dev).type);
        if (mountType == "fuseblk" || mountType.find("fat") != std::string::npos ||
            mountType.find("ntfs") != std::string::npos)
            return {true, true};
        return rules;
    }
    int flags = 0;
    if (::ioctl(dir, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL))
        rules.foldsCase = true;
    return rules;
}

std::shared_ptr<const FileCalls> FileCalls::system() {
    static const auto calls = std::make_shared<const FileCalls>();
    return calls;
}

bool refusedByFileSystem(int code) {
    return code == EINVAL || code == EOPNOTSUPP || code == ENOSYS || code == EPERM;
}

std::string windowsFitName(const std::string& name) {
    std::string fitted = name;
    for (char& c : fitted)
        if (std::string_view(":?*\"<>|\\").find(c) != std::string_view::npos) c = '_';
    while (!fitted.empty() && (fitted.back() == '.' || fitted.back() == ' '))
        fitted.pop_back();
    if (fitted.empty()) return "_";
    const size_t dot = fitted.find('.');
    const std::string device = textLower(fitted.substr(0, dot));
    const bool numbered = device.size() == 4 &&
                          (device.starts_with("com") || device.starts_with("lpt")) &&
                          device[3] >= '1' && device[3] <= '9';
    if (numbered || device == "con" || device == "prn" || device == "aux" || device == "nul")
        fitted.insert(dot == std::string::npos ? fitted.size() : dot, 1, '_');
    return fitted;
}

std::string nameKey(const std::string& name, const NameRules& rules) {
    if (!rules.foldsCase) return name;
    return QString::fromUtf8(name.data(), qsizetype(name.size()))
        .toCaseFolded()
        .toUtf8()
        .toStdString();
}

} // namespace lumi
