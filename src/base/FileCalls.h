#pragma once
// The file-system calls that create and name files in a save folder, behind one seam, and
// the rules a folder's file system sets for names. Tests replace the calls to play file
// systems without the Linux extras (unnamed files, RENAME_NOREPLACE, hard links), that fold
// letter case or that refuse Windows names. Each call returns what its system call returns,
// with errno set on failure.
#include <memory>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>

namespace lumi {

// How a folder's file system treats names.
struct NameRules {
    // Two names that differ only in letter case name one file (FAT, exFAT, NTFS with
    // windows_names, ext4 and f2fs folders with the casefold attribute).
    bool foldsCase = false;
    // Refuses the characters, endings and device names Windows refuses (FAT, exFAT, NTFS).
    bool windowsNames = false;
};

class FileCalls {
public:
    virtual ~FileCalls() = default;
    // open(O_TMPFILE) in dir.
    virtual int openUnnamed(int dir, mode_t mode) const;
    // openat(O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW).
    virtual int createExclusive(int dir, const std::string& name, mode_t mode) const;
    // renameat2 within dir; flags 0 is a plain renameat.
    virtual int rename(int dir, const std::string& from, const std::string& to,
                       unsigned flags) const;
    // Gives the open unnamed file fd the name in dir (linkat through /proc).
    virtual int linkUnnamed(int fd, int dir, const std::string& name) const;
    // linkat within dir.
    virtual int link(int dir, const std::string& from, const std::string& to) const;
    virtual int unlink(int dir, const std::string& name) const;
    // fstatat without following a link.
    virtual int stat(int dir, const std::string& name, struct stat& info) const;
    virtual NameRules nameRules(int dir) const;

    // The calls of the running system.
    static std::shared_ptr<const FileCalls> system();
};

// Whether a call that failed with code was refused for want of the feature (so another way
// may work) rather than for a reason that holds for every way.
bool refusedByFileSystem(int code);

// name as a Windows file system takes it: each of : ? * " < > | \ becomes "_", trailing dots
// and blanks go, and a reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any
// extension) gets "_" after it. Other names are returned as they are.
std::string windowsFitName(const std::string& name);

// The key under which rules make two names one: name itself, or its case-folded form.
std::string nameKey(const std::string& name, const NameRules& rules);

} // namespace lumi
