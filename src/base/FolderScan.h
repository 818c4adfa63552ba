#pragma once
// The rules behind the folder tree: which mounted file systems are drives and of what kind,
// how a drive is labelled, which folders are shown, how a level of folders is read and
// sorted, how a typed path is matched to real folders, and how "Create Dir" makes one.
// Paths are the file system's own bytes, absolute, and end in "/".
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/EnumSet.h"

// Folder kinds the tree shows (dtAll shows every folder). Linux folders carry no system or
// archive mark; a hidden folder is one whose name starts with ".".
enum TDirType { dtReadOnly, dtHidden, dtSystem, dtArchive, dtNormal, dtAll };
// Kinds of drive, from the file system type and the mount point.
enum TDriveType { drtUnknown, drtRemovable, drtFixed, drtRemote, drtCDRom, drtRamDisk };

using TDirTypes = lumi::EnumSet<TDirType>;
using TDriveTypes = lumi::EnumSet<TDriveType>;

namespace lumi {

// path with a "/" added unless it ends in one.
std::string withTrailingSlash(std::string path);

TDriveType driveTypeOf(const std::string& fileSystemType, const std::string& mountRoot);

// One mounted file system whose root is a folder.
struct MountedDrive {
    std::string root; // ends in "/"
    TDriveType type = drtUnknown;
    std::string volumeLabel;
    // The desktop's name for it: the label, else the root.
    std::string displayName;
    bool readable = false;
    uint64_t fileSystemId = 0;
};
// The mounted file systems, "/" first, then by root; a root mounted twice counts once.
// May block on a dead network mount: callers bound it (runBounded).
std::vector<MountedDrive> mountedDrives();
// The file system id of the mount holding root (0 when it cannot be read). May block.
uint64_t fileSystemIdOf(const std::string& root);
// The text of a drive's node: the display name for removable and remote drives, else
// "label (root)", or "(root)" when the volume has no label or cannot be read.
std::string driveLabel(const MountedDrive& drive);

// False for a folder below a recycle bin (a "recycled" or "recycler" folder, or a desktop
// trash folder) unless goBelowRecycleBin; the bin itself passes.
bool passesRecycleBinRule(const std::string& path, bool goBelowRecycleBin);
// The attribute filter: dtAll passes everything; a hidden folder needs dtHidden; any other
// needs dtNormal.
bool passesAttributeFilter(bool hidden, const TDirTypes& types);

// One entry of a folder as the tree reads it.
struct FolderEntry {
    std::string name;
    bool folder = false;
    bool hidden = false;
};
// Most entries read from one folder; the rest of a larger folder is not shown.
inline constexpr size_t FolderEntryLimit = 65536;
// The entries of folder (not "." and ".."); empty when it cannot be read. May block.
std::vector<FolderEntry> listFolder(const std::string& folder);

using FolderLister = std::function<std::vector<FolderEntry>(const std::string& folder)>;
// Whether the folder at path (ending in "/") is shown.
using FolderAcceptor = std::function<bool(const std::string& path, const FolderEntry& entry)>;

struct SubFolder {
    std::string name;
    // Holds at least one folder that accept takes: the node gets an expand button.
    bool hasSubFolders = false;
};
// The shown sub-folders of folder, sorted by name without regard to case (ties by bytes).
// Children not looked into by checkUntil are taken to hold sub-folders, so that a very
// large folder is shown in time (an expand button may then lead to nothing).
std::vector<SubFolder> readFolderLevel(const std::string& folder, const FolderLister& list,
                                       const FolderAcceptor& accept,
                                       std::chrono::steady_clock::time_point checkUntil =
                                           std::chrono::steady_clock::time_point::max());

// The real folder that path names when each component is matched without regard to case
// (an exact match wins); "." and ".." are applied. Nothing when a component is missing or
// path is not absolute. The result ends in "/".
std::optional<std::string> resolveFolderAnyCase(const std::string& path, const FolderLister& list);

enum class CreateFolderResult { Created, Exists, Failed };
// Creates the folder name inside parent (one level). A name that would leave parent
// ("/" in it, ".", "..") fails; an empty name names parent itself, which exists.
CreateFolderResult createSubFolder(const std::string& parent, const std::string& name);

// Runs work on its own thread and waits at most limit for it. Nothing when it did not
// finish in time; the thread then runs on alone and its result is dropped.
template <class T>
std::optional<T> runBounded(std::function<T()> work, std::chrono::milliseconds limit) {
    std::packaged_task<T()> task(std::move(work));
    std::future<T> result = task.get_future();
    std::thread(std::move(task)).detach();
    if (result.wait_for(limit) != std::future_status::ready) return std::nullopt;
    return result.get();
}

} // namespace lumi
