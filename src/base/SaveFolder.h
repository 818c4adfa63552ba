#pragma once
// A folder held open for the length of a batch: every file is created, named and removed
// relative to its descriptor, so that renaming the folder or swapping a link in for it
// mid-batch changes nothing about where the pictures go. It knows how its file system treats
// names and remembers which way of claiming a name works there. Owns the descriptor.
#include <atomic>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include <sys/types.h>

#include "base/FileCalls.h"

namespace lumi {

// Which file a name held: device and inode.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Temporaries this program leaves only when it is killed; older ones are removed.
inline constexpr std::time_t StaleTemporaryAge = 24 * 60 * 60;

// How a finished file gets its name in a folder.
enum class ClaimWay {
    Unknown,
    // renameat2(RENAME_NOREPLACE) or a hard link: the name is taken in one step.
    Atomic,
    // The name is claimed by creating it with O_EXCL, and the file renamed over the claim:
    // for file systems without the Linux extras (FAT, exFAT through FUSE).
    Exclusive,
};

class SaveFolder {
public:
    // Opens the folder path names now, following symbolic links once: the folder found is
    // held, and path() is its absolute real path. Nothing on failure, with error set to the
    // system's text ("Too many levels of symbolic links" for a loop).
    static std::shared_ptr<SaveFolder>
    open(const std::string& path, std::string& error,
         std::shared_ptr<const FileCalls> calls = FileCalls::system());
    // Opens the folder at path itself: a symbolic link there is refused (for folders this
    // program owns, where a link would lead its writes and removals into someone else's).
    static std::shared_ptr<SaveFolder>
    openExactly(const std::string& path, std::string& error,
                std::shared_ptr<const FileCalls> calls = FileCalls::system());
    // Creates (when missing) and opens the folder name inside this one, never through a link.
    std::shared_ptr<SaveFolder> openChild(const std::string& name, std::string& error) const;
    ~SaveFolder();
    SaveFolder(const SaveFolder&) = delete;
    SaveFolder& operator=(const SaveFolder&) = delete;

    int fd() const { return fd_; }
    const FileCalls& calls() const { return *calls_; }
    // The path it was opened by, for messages and output only.
    const std::string& path() const { return path_; }
    std::string pathOf(const std::string& name) const;

    // The entry name holds now (a link itself, not its target), or nothing for none or a folder.
    std::optional<FileIdentity> fileAt(const std::string& name) const;
    // The same, but only for a file last changed (data or name) before since.
    std::optional<FileIdentity> fileUnchangedSince(const std::string& name,
                                                   const timespec& since) const;
    // Whether the folder is still the one at path(): false once it was moved or removed.
    bool stillAtPath() const;
    // Whether the folder was removed (it has no name left anywhere).
    bool removed() const;
    // "The save folder PATH was moved or removed during the download".
    std::string goneText() const;
    // Makes the folder's entries durable (fsync).
    void sync() const;
    // Removes this program's hidden temporaries last changed before now - StaleTemporaryAge.
    void removeStaleTemporaries(std::time_t now) const;

    NameRules nameRules() const { return {rules_.foldsCase, rules_.windowsNames || refusedNames_}; }
    // A name was refused as invalid: names are made to fit Windows' rules from now on.
    void refusesNames() const { refusedNames_ = true; }
    ClaimWay claimWay() const { return way_; }
    void setClaimWay(ClaimWay way) const { way_ = way; }
    bool unnamedFilesRefused() const { return unnamedRefused_; }
    void refuseUnnamedFiles() const { unnamedRefused_ = true; }

private:
    SaveFolder(int fd, std::string path, std::shared_ptr<const FileCalls> calls);
    int fd_;
    std::string path_;
    std::shared_ptr<const FileCalls> calls_;
    FileIdentity identity_;
    NameRules rules_;
    mutable std::atomic<bool> refusedNames_{false};
    mutable std::atomic<ClaimWay> way_{ClaimWay::Unknown};
    mutable std::atomic<bool> unnamedRefused_{false};
};

// Whether name has the form of this program's hidden temporaries (".lumisift-*.part").
bool isTemporaryName(const std::string& name);

} // namespace lumi
