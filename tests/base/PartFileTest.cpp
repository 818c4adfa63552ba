// Claiming a finished file's name in a folder held open, with unnamed and hidden temporaries.
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <fcntl.h>
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
// and never when it is read-only; the folder is held, not its path.
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
            // The folder moves mid-transfer: the file still goes where it was opened.
            ASSERT_EQ(::rename(held.c_str(), (base + "/moved").c_str()), 0);
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
