// CREDITS.txt as a journal: how a line reads, that page text cannot forge or turn lines,
// that old credits stay, and which files are never written.
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "base/IniFiles.h"
#include "base/SaveFolder.h"
#include "engine/CreditsFile.h"

using lumi::PictureSource;
using lumi::ServiceId;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    if (!in) return "<missing>";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(CreditsFile, ALineReadsAsOneLineWhateverThePageSaid) {
    const PictureSource source{ServiceId::Openverse, "http://a/1.htm",
                               "Dusk\r\nforged.jpg: \"x\"\xE2\x80\xA8y\xC2\x85z\xE2\x80\xAEgpj",
                               "Ada", "CC BY 4.0", "https://cc/by/4.0/"};
    EXPECT_EQ(lumi::creditLine("sunset1.jpg", source),
              "sunset1.jpg: \"Dusk  forged.jpg: \"x\" y z gpj\" by Ada, CC BY 4.0 "
              "(https://cc/by/4.0/), from http://a/1.htm");
    EXPECT_EQ(lumi::creditLine("4(1).jpg", {ServiceId::Commons, "", "", "", "CC BY-SA 4.0", ""}),
              "4(1).jpg: CC BY-SA 4.0");
}

// Guards the journal: whole lines after what was there, a replaced picture's line rewritten,
// and a file that is read-only, a link or no plain file never written.
TEST(CreditsFile, TheJournalAddsWholeLinesAndRewritesOnlyWhatItMay) {
    struct Case {
        const char* what;
        std::string before; // "" for none; "<link>", "<fifo>" for those
        mode_t mode;
        std::string name, line;
        bool replacing;
        std::string after, problem;
    };
    const std::vector<Case> cases = {
        {"appended after a last line without an end", "old.jpg: kept", 0644, "a.jpg", "a.jpg: A",
         false, "old.jpg: kept\na.jpg: A\n", ""},
        {"created when missing", "", 0644, "a.jpg", "a.jpg: A", false, "a.jpg: A\n", ""},
        {"a replaced picture's older line goes", "a.jpg: old\nab.jpg: B\n", 0640, "a.jpg",
         "a.jpg: new", true, "ab.jpg: B\na.jpg: new\n", ""},
        {"a replaced picture without a licence only removes", "a.jpg: old\n", 0644, "a.jpg", "",
         true, "", ""},
        {"nothing to remove and no file: none made", "", 0644, "a.jpg", "", true, "<missing>", ""},
        {"read-only is never written", "a.jpg: old\n", 0444, "a.jpg", "a.jpg: new", true,
         "a.jpg: old\n", "it is read-only, so it was not written"},
        {"a link is refused", "<link>", 0644, "a.jpg", "a.jpg: A", false, "mine",
         "it is not a plain file, so it was not written"},
        {"a pipe is refused", "<fifo>", 0644, "a.jpg", "a.jpg: A", false, "",
         "it is not a plain file, so it was not written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const std::string folderPath = dir.path().toStdString();
        const std::string credits = folderPath + "/CREDITS.txt";
        const std::string target = folderPath + "/elsewhere.txt";
        if (c.before == "<link>") {
            std::ofstream(target) << "mine";
            ASSERT_EQ(::symlink(target.c_str(), credits.c_str()), 0);
        } else if (c.before == "<fifo>") {
            ASSERT_EQ(::mkfifo(credits.c_str(), 0644), 0);
        } else if (!c.before.empty()) {
            std::ofstream(credits) << c.before;
            ::chmod(credits.c_str(), c.mode);
        }
        std::string error;
        lumi::CreditsJournal journal(lumi::SaveFolder::open(folderPath, error));
        const std::string problem = journal.record(c.name, c.line, c.replacing);
        EXPECT_EQ(problem, c.problem.empty() ? "" : "The credits could not be written to " +
                                                        credits + ": " + c.problem);
        if (c.before == "<fifo>") continue;
        EXPECT_EQ(readAll(c.before == "<link>" ? target : credits), c.after);
        struct stat info {};
        if (c.after != "<missing>" && c.before != "<link>") {
            ASSERT_EQ(::stat(credits.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, c.before.empty() ? 0644u : c.mode);
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral("lumisift")).size(), 0);
    }
}
