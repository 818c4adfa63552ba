#include "base/FolderScan.h"

#include <algorithm>
#include <map>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <QFile>
#include <QStorageInfo>

#include "base/TextOps.h"

namespace lumi {

namespace {

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Components of an absolute path after applying "." and "..".
std::vector<std::string> cleanComponents(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    return parts;
}

// A folder name that marks a recycle bin, given the name of its parent and grandparent.
bool isRecycleBin(const std::string& name, const std::string& parent, const std::string& grand) {
    const std::string lower = textLower(name);
    if (lower == "recycled" || lower == "recycler" || lower == ".trash") return true;
    if (lower.starts_with(".trash-")) return true;
    // The desktop's own trash: ~/.local/share/Trash.
    return name == "Trash" && parent == "share" && grand == ".local";
}

} // namespace

std::string withTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

TDriveType driveTypeOf(const std::string& fileSystemType, const std::string& mountRoot) {
    const std::string type = textLower(fileSystemType);
    if (type == "tmpfs" || type == "ramfs") return drtRamDisk;
    if (type == "iso9660" || type == "udf") return drtCDRom;
    for (const char* remote : {"nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "fuse.sshfs"})
        if (type == remote) return drtRemote;
    if (mountRoot.starts_with("/media/") || mountRoot.starts_with("/run/media/"))
        return drtRemovable;
    if (type.empty()) return drtUnknown;
    return drtFixed;
}

uint64_t fileSystemIdOf(const std::string& root) {
    struct statvfs info {};
    if (::statvfs(root.c_str(), &info) != 0) return 0;
    return static_cast<uint64_t>(info.f_fsid);
}

std::vector<MountedDrive> mountedDrives() {
    // Keyed by root: a later mount over the same point hides the earlier one.
    std::map<std::string, MountedDrive> byRoot;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        MountedDrive drive;
        drive.root = withTrailingSlash(QFile::encodeName(volume.rootPath()).toStdString());
        if (!isFolder(drive.root)) continue;
        drive.type = driveTypeOf(volume.fileSystemType().toStdString(), drive.root);
        drive.volumeLabel = QFile::encodeName(volume.name()).toStdString();
        drive.displayName = QFile::encodeName(volume.displayName()).toStdString();
        drive.readable = volume.isValid() && volume.isReady();
        drive.fileSystemId = fileSystemIdOf(drive.root);
        byRoot[drive.root] = std::move(drive);
    }
    // std::map orders by bytes, so "/" comes first.
    std::vector<MountedDrive> drives;
    for (auto& [root, drive] : byRoot)
        drives.push_back(std::move(drive));
    return drives;
}

std::string driveLabel(const MountedDrive& drive) {
    if (drive.type == drtRemovable || drive.type == drtRemote) return drive.displayName;
    if (!drive.readable || drive.volumeLabel.empty()) return "(" + drive.root + ")";
    return drive.volumeLabel + " (" + drive.root + ")";
}

bool passesRecycleBinRule(const std::string& path, bool goBelowRecycleBin) {
    if (goBelowRecycleBin) return true;
    const std::vector<std::string> parts = cleanComponents(path);
    // The last component may be a bin itself; only folders below one are refused.
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::string parent = i >= 1 ? parts[i - 1] : "";
        const std::string grand = i >= 2 ? parts[i - 2] : "";
        if (isRecycleBin(parts[i], parent, grand)) return false;
    }
    return true;
}

bool passesAttributeFilter(bool hidden, const TDirTypes& types) {
    if (types.contains(dtAll)) return true;
    return hidden ? types.contains(dtHidden) : types.contains(dtNormal);
}

std::vector<FolderEntry> listFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return entries;
    while (entries.size() < FolderEntryLimit) {
        const dirent* found = ::readdir(dir.get());
        if (!found) break;
        FolderEntry entry;
        entry.name = found->d_name;
        if (entry.name == "." || entry.name == "..") continue;
        entry.hidden = entry.name[0] == '.';
        // A link or an unknown kind is looked up: a link to a folder counts as a folder.
        entry.folder =
            found->d_type == DT_DIR || ((found->d_type == DT_LNK || found->d_type == DT_UNKNOWN) &&
                                        isFolder(withTrailingSlash(folder) + entry.name));
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<SubFolder> readFolderLevel(const std::string& folder, const FolderLister& list,
                                       const FolderAcceptor& accept,
                                       std::chrono::steady_clock::time_point checkUntil) {
    // path: the entry's own path, ending in "/".
    const auto acceptable = [&](const std::string& path, const FolderEntry& entry) {
        return entry.folder && entry.name != "." && entry.name != ".." && accept(path, entry);
    };
    const std::string base = withTrailingSlash(folder);
    std::vector<std::pair<std::string, SubFolder>> keyed; // sort key: the name in small letters
    for (const FolderEntry& entry : list(folder)) {
        const std::string path = base + entry.name + "/";
        if (!acceptable(path, entry)) continue;
        bool hasSubFolders = true;
        if (std::chrono::steady_clock::now() <= checkUntil) {
            const std::vector<FolderEntry> inner = list(path);
            hasSubFolders = std::any_of(inner.begin(), inner.end(), [&](const auto& child) {
                return acceptable(path + child.name + "/", child);
            });
        }
        keyed.push_back({textLower(entry.name), {entry.name, hasSubFolders}});
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.name < b.second.name;
    });
    std::vector<SubFolder> level;
    level.reserve(keyed.size());
    for (auto& [key, sub] : keyed)
        level.push_back(std::move(sub));
    return level;
}

namespace {

// Matches parts[next...] below resolved; when several folders differ only in case, each
// is tried, the exact name first.
std::optional<std::string> resolveBelow(const std::string& resolved,
                                        const std::vector<std::string>& parts, size_t next,
                                        const FolderLister& list) {
    if (next == parts.size()) return resolved;
    std::vector<std::string> candidates;
    for (const FolderEntry& entry : list(resolved)) {
        if (!entry.folder || !textSameAnyCase(entry.name, parts[next])) continue;
        if (entry.name == parts[next])
            candidates.insert(candidates.begin(), entry.name);
        else
            candidates.push_back(entry.name);
    }
    for (const std::string& name : candidates)
        if (auto found = resolveBelow(resolved + name + "/", parts, next + 1, list)) return found;
    return std::nullopt;
}

} // namespace

std::optional<std::string> resolveFolderAnyCase(const std::string& path, const FolderLister& list) {
    if (path.empty() || path[0] != '/') return std::nullopt;
    return resolveBelow("/", cleanComponents(path), 0, list);
}

CreateFolderResult createSubFolder(const std::string& parent, const std::string& name) {
    if (name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return CreateFolderResult::Failed;
    const std::string path = withTrailingSlash(parent) + name;
    if (isFolder(path)) return CreateFolderResult::Exists;
    return ::mkdir(path.c_str(), 0777) == 0 ? CreateFolderResult::Created
                                            : CreateFolderResult::Failed;
}

} // namespace lumi
