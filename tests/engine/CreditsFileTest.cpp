// CREDITS.txt as a journal: that page text cannot forge or turn lines, that old credits
// stay, and which files are never written.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "base/SaveFolder.h"
#include "engine/CreditsFile.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    if (!in) return "<missing>";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

// Guards the journal: whole lines after what was there (a line break, a C1 control, a
// direction control or a Unicode line end never starts another line), a replaced picture's
// line rewritten, and a file that is read-only, a link or no plain file never written.
TEST(CreditsFile, TheJournalAddsWholeLinesAndRewritesOnlyWhatItMay) {
    struct Case {
        std::string before; // "<link>", "<fifo>" for those
        mode_t mode;
        std::string line;
        bool replacing;
        std::string after, problem;
    } const cases[] = {
        {"old.jpg: kept", 0644, "a.jpg: \"A\r\nb.jpg\xE2\x80\xA8\xC2\x85\xE2\x80\xAEgpj\"", false,
         "old.jpg: kept\na.jpg: \"A  b.jpg   gpj\"\n", ""},
        {"a.jpg: old\nab.jpg: B\n", 0640, "a.jpg: new", true, "ab.jpg: B\na.jpg: new\n", ""},
        {"a.jpg: old\n", 0644, "", true, "", ""},
        {"a.jpg: old\n", 0444, "a.jpg: new", true, "a.jpg: old\n", "it is read-only"},
        {"<link>", 0644, "a.jpg: A", false, "mine", "it is not a plain file"},
        {"<fifo>", 0644, "a.jpg: A", false, "", "it is not a plain file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before + c.line);
        QTemporaryDir dir;
        const std::string credits = dir.filePath(QStringLiteral("CREDITS.txt")).toStdString();
        const std::string target = dir.filePath(QStringLiteral("elsewhere")).toStdString();
        std::ofstream(target) << "mine";
        if (c.before == "<link>") ::symlink(target.c_str(), credits.c_str());
        if (c.before == "<fifo>") ::mkfifo(credits.c_str(), 0644);
        if (!c.before.empty() && c.before[0] != '<') std::ofstream(credits) << c.before;
        ::chmod(credits.c_str(), c.mode);
        std::string error;
        lumi::CreditsJournal journal(lumi::SaveFolder::open(dir.path().toStdString(), error));
        EXPECT_EQ(journal.record("a.jpg", c.line, c.replacing),
                  c.problem.empty() ? ""
                                    : "The credits could not be written to " + credits + ": " +
                                          c.problem + ", so it was not written");
        EXPECT_EQ(readAll(target), "mine");
        if (c.before.starts_with('<')) continue;
        EXPECT_EQ(readAll(credits), c.after);
        struct stat info {};
        EXPECT_TRUE(::stat(credits.c_str(), &info) == 0 && (info.st_mode & 0777) == c.mode);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).size(), 2);
    }
}
