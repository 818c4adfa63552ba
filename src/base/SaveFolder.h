#pragma once
// A folder held open for the length of a batch: every file is created, named and removed
// relative to its descriptor, so that renaming the folder or swapping a link in for it
// mid-batch changes nothing about where the pictures go. Owns the descriptor.
#include <ctime>
#include <memory>
#include <optional>
#include <string>

#include <sys/types.h>

namespace lumi {

// Which file a name held: device and inode.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Temporaries this program leaves only when it is killed; older ones are removed.
inline constexpr std::time_t StaleTemporaryAge = 24 * 60 * 60;

class SaveFolder {
public:
    // Opens the folder path names now; its last component must not be a symbolic link.
    // Nothing on failure, with error set to the system's text. The path is used as given,
    // never cleaned as text.
    static std::shared_ptr<SaveFolder> open(const std::string& path, std::string& error);
    // Creates (when missing) and opens the folder name inside this one.
    std::shared_ptr<SaveFolder> openChild(const std::string& name, std::string& error) const;
    ~SaveFolder();
    SaveFolder(const SaveFolder&) = delete;
    SaveFolder& operator=(const SaveFolder&) = delete;

    int fd() const { return fd_; }
    // The path it was opened by, for messages and output only.
    const std::string& path() const { return path_; }
    std::string pathOf(const std::string& name) const;

    // The entry name holds now (a link itself, not its target), or nothing for none or a folder.
    std::optional<FileIdentity> fileAt(const std::string& name) const;
    // Makes the folder's entries durable (fsync).
    void sync() const;
    // Removes this program's hidden temporaries last changed before now - StaleTemporaryAge.
    void removeStaleTemporaries(std::time_t now) const;

private:
    SaveFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

// Whether name has the form of this program's hidden temporaries (".lumisift-*.part").
bool isTemporaryName(const std::string& name);

} // namespace lumi
