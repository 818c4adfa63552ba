#pragma once
// A file being received into a folder held open: an unnamed file (O_TMPFILE) where the file
// system offers one, else a hidden temporary (".lumisift-PID-N.part") created exclusively and
// never through a link. commit() flushes the data and then claims the final name: a name
// taken by another file (as the file system compares names) is never replaced, except the
// one file the claim allows, and never when that file is read-only. Where the file system
// refuses the atomic ways, the name is claimed by creating it exclusively and the file is
// renamed over its own claim; a name the file system refuses as invalid is made to fit
// Windows' rules. Every write is checked; a failure keeps the system's own text. Destroying
// an uncommitted PartFile removes the temporary.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/SaveFolder.h"

namespace lumi {

// The name a finished file is to get.
struct NameClaim {
    std::string name;
    // The file that name may be replaced in: the one it held when the work began. Nothing:
    // a taken name is never replaced.
    std::optional<FileIdentity> replaceable;
    // The name to try when taken is held by another file; empty (or no function) gives up.
    std::function<std::string(const std::string& taken)> nextName;
};

// Opens the folder of path and sets claim to its last component, allowed to replace the
// file it holds now. Nothing, with error set to the system's text, when the folder cannot be
// opened.
std::shared_ptr<SaveFolder> openFolderOf(const std::string& path, NameClaim& claim,
                                         std::string& error);

class PartFile {
public:
    enum class Temporary { Unnamed, Hidden };
    // Creates the temporary in folder. Nothing on failure, with error set to the system's
    // text. Unnamed falls back to Hidden where the file system has no unnamed files.
    static std::unique_ptr<PartFile> create(std::shared_ptr<const SaveFolder> folder,
                                            NameClaim claim, std::string& error,
                                            Temporary kind = Temporary::Unnamed);
    // The same for a path: its folder is opened, and the file finalPath holds now may be
    // replaced.
    static std::unique_ptr<PartFile> create(const std::string& finalPath, std::string& error);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Writes all of data; false (and error() set) when the system took less.
    bool write(const char* data, size_t size);
    // Flushes the data to the disk: 0, or the errno of the failure. May run on another
    // thread while nothing else uses the file; commit() then does not flush again.
    int flushData();
    // Flushes the data (unless flushData() did) and gives the file its name; false with
    // error() set, and the temporary removed, when that fails.
    bool commit();
    // Closes and removes the temporary.
    void discard();

    const std::string& error() const { return error_; }
    // The hidden temporary's path; empty for an unnamed file.
    std::string tempPath() const;
    // Where the file goes: after commit() the name it got.
    std::string finalPath() const { return folder_->pathOf(claim_.name); }
    const std::string& finalName() const { return claim_.name; }
    // After commit(): whether the name had to be changed to suit the file system.
    bool nameFitted() const { return nameFitted_; }
    // After commit(): whether the file replaced the one the claim allowed.
    bool replacedOld() const { return replacedOld_; }

private:
    PartFile(int fd, std::shared_ptr<const SaveFolder> folder, NameClaim claim,
             std::string tempName);
    bool fail(int code);
    bool fail(std::string text);
    int placeWithoutReplacing(const std::string& name);
    int placeAtomically(const std::string& name);
    int placeOverOwnClaim(const std::string& name);
    int replace(const std::string& name);
    int giveHiddenName();
    bool closeFile();

    int fd_;
    std::shared_ptr<const SaveFolder> folder_;
    NameClaim claim_;
    std::string tempName_; // empty while the file has no name
    off_t written_ = 0, writtenBack_ = 0;
    bool flushed_ = false;
    bool nameFitted_ = false;
    bool replacedOld_ = false;
    std::string error_;
};

} // namespace lumi
