// Claiming a finished file's name in a folder held open, with unnamed and hidden temporaries.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>

#include "base/PartFile.h"

using lumi::PartFile;

namespace {
std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}
} // namespace

// Guards the claim: a taken name is never replaced unless the claim allows that very file,
// and never when it is read-only; a folder moved away names nothing.
TEST(PartFile, ClaimsOnlyFreeNamesOrTheFileItMayReplace) {
    struct Case {
        bool mayReplace, readOnly, swapped, hasNext;
        std::string saved, reason; // which name got "new"; why the commit failed
    } const cases[] = {
        {false, false, false, true, "x (2).gif", ""},
        {false, false, false, false, "", "File exists"},
        {true, false, false, false, "x.gif", ""},
        {true, true, false, false, "", "/held/x.gif is read-only"},
        {true, false, true, false, "", "File exists"}, // another file took the name since
        {false, false, false, true, "", "/held was moved or removed during the download"},
    };
    for (const auto kind : {PartFile::Temporary::Unnamed, PartFile::Temporary::Hidden}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.reason + c.saved);
            QTemporaryDir dir;
            const std::string base = dir.path().toStdString(), held = base + "/held";
            ::mkdir(held.c_str(), 0755);
            std::ofstream(held + "/x.gif") << "old";
            std::string error;
            auto folder = lumi::SaveFolder::open(held, error);
            lumi::NameClaim claim{"x.gif", {}, {}};
            if (c.mayReplace) claim.replaceable = folder->fileAt("x.gif");
            if (c.hasNext) claim.nextName = [](const std::string&) { return "x (2).gif"; };
            auto file = PartFile::create(folder, claim, error, kind);
            ASSERT_TRUE(file && file->write("new", 3)) << error;
            if (c.readOnly) ::chmod((held + "/x.gif").c_str(), 0444);
            if (c.swapped && ::rename((held + "/x.gif").c_str(), (held + "/y.gif").c_str()) == 0)
                std::ofstream(held + "/x.gif") << "other";
            // The folder moves mid-transfer: the file is named only where its path still leads.
            ASSERT_EQ(::rename(held.c_str(), (base + "/moved").c_str()), 0);
            if (!c.reason.ends_with("download")) ::symlink("moved", held.c_str());
            EXPECT_EQ(file->commit(), c.reason.empty()) << file->error();
            EXPECT_TRUE(file->error().ends_with(c.reason)) << file->error();
            const std::string moved = base + "/moved/";
            EXPECT_EQ(readFile(moved + (c.saved.empty() ? "x.gif" : c.saved)),
                      !c.saved.empty() ? "new" : c.swapped ? "other" : "old");
            EXPECT_EQ(QDir(QString::fromStdString(moved)).entryList(QDir::Files | QDir::Hidden).size(),
                      1 + int(c.saved == "x (2).gif") + int(c.swapped));
        }
    }
}

// Guards the clean-up of temporaries a killed run left: only this program's, only old ones.
TEST(PartFile, StaleTemporariesOlderThanADayGo) {
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/";
    for (const char* name : {".lumisift-1-1.part", ".lumisift-1-2.part", ".other.part"})
        std::ofstream(base + name) << "x";
    const time_t now = ::time(nullptr);
    const struct timespec old[2] = {{now - 2 * 86400, 0}, {now - 2 * 86400, 0}};
    ::utimensat(AT_FDCWD, (base + ".lumisift-1-1.part").c_str(), old, 0);
    ::utimensat(AT_FDCWD, (base + ".other.part").c_str(), old, 0);
    std::string error;
    lumi::SaveFolder::open(base, error)->removeStaleTemporaries(now);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral(".lumisift-1-2.part"), QStringLiteral(".other.part")}));
}

namespace {

// A file system played over a real folder: folding case, refusing Windows' names and, unless
// told otherwise, without the Linux extras (unnamed files, renameat2 flags, hard links), as
// FAT and exFAT through FUSE answer. anotherSavesFirst saves the name just before an exchange.
struct PlayedFileSystem : lumi::FileCalls {
    bool lacksExtras = true;
    mutable bool anotherSavesFirst = false;
    lumi::NameRules rules; // what statfs tells
    mutable int atomicTries = 0;

    std::string entry(int dir, const std::string& name) const { // name in the folder's spelling
        std::string found = name;
        DIR* list = ::fdopendir(::dup(dir));
        ::rewinddir(list); // the duplicate shares the folder's reading position
        while (const dirent* e = ::readdir(list))
            if (::strcasecmp(e->d_name, name.c_str()) == 0) found = e->d_name;
        ::closedir(list);
        return found;
    }
    int fail(int code) const { return errno = code, -1; }
    int openUnnamed(int dir, mode_t mode) const override {
        return lacksExtras ? fail(EOPNOTSUPP) : FileCalls::openUnnamed(dir, mode);
    }
    int createExclusive(int dir, const std::string& name, mode_t mode) const override {
        if (lumi::windowsFitName(name) != name) return fail(EINVAL);
        return entry(dir, name) != name ? fail(EEXIST)
                                        : FileCalls::createExclusive(dir, name, mode);
    }
    int rename(int dir, const std::string& from, const std::string& to,
               unsigned flags) const override {
        atomicTries += flags == RENAME_NOREPLACE;
        if ((flags != 0 && lacksExtras) || lumi::windowsFitName(to) != to) return fail(EINVAL);
        if (to == "fail.jpg") return fail(EIO);
        if (flags == RENAME_EXCHANGE && std::exchange(anotherSavesFirst, false)) {
            ::close(FileCalls::createExclusive(dir, "other", 0644));
            FileCalls::rename(dir, "other", to, 0);
        }
        return FileCalls::rename(dir, from, entry(dir, to), flags);
    }
    int linkUnnamed(int fd, int dir, const std::string& name) const override {
        return lacksExtras ? fail(EPERM) : FileCalls::linkUnnamed(fd, dir, name);
    }
    int link(int dir, const std::string& from, const std::string& to) const override {
        return lacksExtras ? fail(EPERM) : FileCalls::link(dir, from, to);
    }
    lumi::NameRules nameRules(int) const override { return rules; }
};

} // namespace

// Guards naming where the file system lacks the extras, folds case or refuses Windows'
// names: an exclusive create claims the name and the file is renamed over it (the way asked
// for once per folder), another case of a taken name is taken, a refused name made to fit.
TEST(PartFile, NamesAreClaimedOnFileSystemsWithoutTheLinuxExtras) {
    struct Case {
        const char* what;
        bool lacksExtras, foldsAndFits; // without the extras, another saves before an exchange
        std::string name, saved;        // saved empty: the commit fails
        std::string files;              // the folder afterwards
    };
    const std::vector<Case> cases = {
        {"a free name", true, false, "x.jpg", "x.jpg", "Cat.jpg|x.jpg"},
        {"another case of a taken name", true, false, "cat.jpg", "cat (2).jpg",
         "Cat.jpg|cat (2).jpg"},
        {"refused, so made to fit", true, false, "a:b?.jpg.", "a_b_.jpg", "Cat.jpg|a_b_.jpg"},
        {"a device name where statfs tells", true, true, "con.jpg", "con_.jpg", "Cat.jpg|con_.jpg"},
        {"the old file replaced without an exchange", true, false, "Cat.jpg", "Cat.jpg", "Cat.jpg"},
        {"a failed rename removes its claim only", true, false, "fail.jpg", "", "Cat.jpg"},
        {"a file saved just before the exchange stays", false, false, "Cat.jpg", "Cat (2).jpg",
         "Cat (2).jpg|Cat.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const std::string base = dir.path().toStdString();
        std::ofstream(base + "/Cat.jpg") << "user's";
        auto played = std::make_shared<PlayedFileSystem>();
        played->lacksExtras = c.lacksExtras;
        played->anotherSavesFirst = !c.lacksExtras;
        played->rules = {c.foldsAndFits, c.foldsAndFits};
        std::string error;
        auto folder = lumi::SaveFolder::open(base, error, played);
        // A second picture must not ask again for what the first found refused.
        for (const std::string& name : {c.name, std::string("second.jpg")}) {
            lumi::NameClaim claim{name, {}, [](const std::string& taken) {
                                      return taken.substr(0, taken.rfind('.')) + " (2).jpg";
                                  }};
            if (name == "Cat.jpg") claim.replaceable = folder->fileAt(name);
            auto file = PartFile::create(folder, claim, error);
            ASSERT_TRUE(file && file->write("new", 3)) << error;
            const bool named = file->commit();
            EXPECT_EQ(named, name == "second.jpg" || !c.saved.empty()) << file->error();
            EXPECT_EQ(file->nameFitted(), c.saved.find('_') != std::string::npos && name == c.name);
            const std::string& got = name == c.name && named ? c.saved : name;
            EXPECT_EQ(readFile(base + "/" + got), named ? "new" : "<missing>");
        }
        ::unlink((base + "/second.jpg").c_str());
        if (c.lacksExtras) {
            EXPECT_EQ(played->atomicTries, 1);
        }
        EXPECT_EQ(QDir(dir.path())
                      .entryList(QDir::Files | QDir::Hidden, QDir::Name)
                      .join(QLatin1Char('|'))
                      .toStdString(),
                  c.files);
    }
}
