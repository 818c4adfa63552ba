// Claiming a finished file's name in a folder held open, with unnamed and hidden temporaries.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
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
        bool mayReplace, readOnly, swapped, hasNext, moved;
        std::string saved, reason; // which name got "new"; why the commit failed
    } const cases[] = {
        {false, false, false, true, false, "x (2).gif", ""},
        {false, false, false, false, false, "", "File exists"},
        {true, false, false, false, false, "x.gif", ""},
        {true, true, false, false, false, "", "/held/x.gif is read-only"},
        {true, false, true, true, false, "x (2).gif", ""}, // another file took the name since
        {false, false, false, true, true, "", "/held was moved or removed during the download"},
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
            if (c.moved) {
                ASSERT_EQ(::rename(held.c_str(), (base + "/moved").c_str()), 0);
            }
            EXPECT_EQ(file->commit(), c.reason.empty()) << file->error();
            EXPECT_TRUE(file->error().ends_with(c.reason)) << file->error();
            const std::string moved = base + (c.moved ? "/moved/" : "/held/");
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

// A file system played over a real folder: without the Linux extras (no unnamed files,
// RENAME_NOREPLACE, RENAME_EXCHANGE or hard links: FAT and exFAT through FUSE), folding case
// and refusing Windows' names, as configured.
struct PlayedFileSystem : lumi::FileCalls {
    bool lacksExtras = true;
    lumi::NameRules rules;        // what statfs would tell
    bool refusesWindows = true;   // what a create or rename answers
    bool anotherSavesFirst = false; // another batch saves the name just before an exchange
    mutable int atomicTries = 0;
    mutable bool anotherSaved = false;

    // The entry of dir that name means here, in its own spelling.
    std::string entry(int dir, const std::string& name) const {
        DIR* list = ::fdopendir(::dup(dir));
        std::string found = name;
        if (list) ::rewinddir(list); // the duplicate shares the folder's reading position
        while (const dirent* e = list ? ::readdir(list) : nullptr)
            if (::strcasecmp(e->d_name, name.c_str()) == 0) found = e->d_name;
        if (list) ::closedir(list);
        return found;
    }
    bool refused(const std::string& name) const {
        return refusesWindows && lumi::windowsFitName(name) != name;
    }
    int fail(int code) const {
        errno = code;
        return -1;
    }
    int openUnnamed(int dir, mode_t mode) const override {
        return lacksExtras ? fail(EOPNOTSUPP) : FileCalls::openUnnamed(dir, mode);
    }
    int createExclusive(int dir, const std::string& name, mode_t mode) const override {
        if (refused(name)) return fail(EINVAL);
        if (entry(dir, name) != name) return fail(EEXIST);
        return FileCalls::createExclusive(dir, name, mode);
    }
    int rename(int dir, const std::string& from, const std::string& to,
               unsigned flags) const override {
        if (flags == RENAME_NOREPLACE) ++atomicTries;
        if (flags != 0 && lacksExtras) return fail(EINVAL);
        if (refused(to)) return fail(EINVAL);
        if (flags == RENAME_EXCHANGE && anotherSavesFirst && !anotherSaved) {
            anotherSaved = true;
            const int other = FileCalls::createExclusive(dir, "other", 0644);
            if (::write(other, "other's", 7) != 7) return fail(EIO);
            ::close(other);
            FileCalls::rename(dir, "other", to, 0);
        }
        if (to == "fail.jpg") return fail(EIO);
        return FileCalls::rename(dir, from, entry(dir, to), flags);
    }
    int linkUnnamed(int fd, int dir, const std::string& name) const override {
        return lacksExtras ? fail(EPERM) : FileCalls::linkUnnamed(fd, dir, name);
    }
    int link(int dir, const std::string& from, const std::string& to) const override {
        return lacksExtras ? fail(EPERM) : FileCalls::link(dir, from, to);
    }
    int stat(int dir, const std::string& name, struct stat& info) const override {
        return FileCalls::stat(dir, entry(dir, name), info);
    }
    lumi::NameRules nameRules(int) const override { return rules; }
};

} // namespace

// Guards naming where the file system lacks the extras, folds case or refuses Windows'
// names: a name is claimed by an exclusive create and the file renamed over that claim (the
// way asked for once per folder), a name another case holds is taken, and a refused name is
// made to fit.
TEST(PartFile, NamesAreClaimedOnFileSystemsWithoutTheLinuxExtras) {
    struct Case {
        const char* what;
        bool lacksExtras;
        lumi::NameRules rules;
        bool anotherSavesFirst;
        std::string name;
        bool mayReplace;
        std::string saved; // empty: the commit fails
        bool fitted;
        std::vector<std::string> files; // the folder afterwards, sorted
    };
    const std::vector<Case> cases = {
        {"a free name", true, {}, false, "x.jpg", false, "x.jpg", false, {"Cat.jpg", "x.jpg"}},
        {"another case of a taken name", true, {}, false, "cat.jpg", false, "cat (2).jpg", false,
         {"Cat.jpg", "cat (2).jpg"}},
        {"a refused name found by its refusal", true, {}, false, "a:b?.jpg.", false, "a_b_.jpg",
         true, {"Cat.jpg", "a_b_.jpg"}},
        {"a device name where statfs tells", true, {true, true}, false, "con.jpg", false,
         "con_.jpg", true, {"Cat.jpg", "con_.jpg"}},
        {"the file it may replace, without an exchange", true, {}, false, "Cat.jpg", true,
         "Cat.jpg", false, {"Cat.jpg"}},
        {"a failed rename removes its own claim only", true, {}, false, "fail.jpg", false, "",
         false, {"Cat.jpg"}},
        {"a file saved just before the exchange is given back", false, {}, true, "Cat.jpg", true,
         "Cat (2).jpg", false, {"Cat (2).jpg", "Cat.jpg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const std::string base = dir.path().toStdString();
        std::ofstream(base + "/Cat.jpg") << "user's";
        auto played = std::make_shared<PlayedFileSystem>();
        played->lacksExtras = c.lacksExtras;
        played->rules = c.rules;
        played->anotherSavesFirst = c.anotherSavesFirst;
        std::string error;
        auto folder = lumi::SaveFolder::open(base, error, played);
        ASSERT_TRUE(folder) << error;
        // Two pictures: the second must not ask again for what the first found refused.
        for (const std::string& name : {c.name, std::string("second.jpg")}) {
            lumi::NameClaim claim{name, {}, [](const std::string& taken) {
                                      const size_t dot = taken.rfind('.');
                                      return taken.substr(0, dot) + " (2)" + taken.substr(dot);
                                  }};
            if (c.mayReplace) claim.replaceable = folder->fileAt(name);
            auto file = PartFile::create(folder, claim, error);
            ASSERT_TRUE(file && file->write("new", 3)) << error;
            const bool named = file->commit();
            if (name == "second.jpg") {
                EXPECT_TRUE(named) << file->error();
                ::unlink((base + "/second.jpg").c_str());
                continue;
            }
            EXPECT_EQ(named, !c.saved.empty()) << file->error();
            EXPECT_EQ(file->nameFitted(), c.fitted);
            if (named) {
                EXPECT_EQ(readFile(base + "/" + c.saved), "new");
            }
        }
        if (c.lacksExtras) {
            EXPECT_EQ(played->atomicTries, 1);
        }
        std::vector<std::string> names;
        for (const QString& f : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
            names.push_back(f.toStdString());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.files);
        if (c.anotherSavesFirst) {
            EXPECT_EQ(readFile(base + "/Cat.jpg"), "other's");
        }
    }
}
