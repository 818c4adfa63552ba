// CREDITS.txt after a download batch: which items are credited, how a line reads, that
// page text cannot forge lines, that old credits stay, and that a link is never written through.
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "base/IniFiles.h"
#include "engine/CreditsFile.h"
#include "engine/DownloadBatch.h"

using lumi::BatchItem;
using lumi::PictureSource;
using lumi::ServiceId;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

BatchItem item(const std::string& address, const std::string& path, BatchItem::State state) {
    BatchItem i;
    i.address = address;
    i.path = path;
    i.state = state;
    return i;
}

} // namespace

TEST(CreditsFile, SavedLicensedPicturesAreCreditedOneLineEachAfterTheOldCredits) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    const std::string credits = folder + "/CREDITS.txt";
    std::ofstream(credits) << "old.jpg: kept"; // no line end of its own
    const std::map<std::string, PictureSource> sources = {
        {"http://a/1.jpg",
         {ServiceId::Openverse, "http://a/1.htm", "Dusk\r\nforged.jpg: \"x\"", "Ada", "CC BY 4.0",
          "https://cc/by/4.0/"}},
        {"http://a/2.jpg", {ServiceId::HotBot, "http://a/index.htm", "", "", "", ""}},
        {"http://a/3.jpg", {ServiceId::Commons, "http://c/3", "Gone", "Bo", "CC0 1.0", ""}},
        {"http://a/4.jpg", {ServiceId::Commons, "", "", "", "CC BY-SA 4.0", ""}},
    };
    const std::vector<BatchItem> items = {
        item("http://a/1.jpg", folder + "/sunset1.jpg", BatchItem::State::Saved),
        item("http://a/2.jpg", folder + "/2.jpg", BatchItem::State::Saved),   // no licence
        item("http://a/3.jpg", folder + "/3.jpg", BatchItem::State::Failed),  // not saved
        item("http://a/4.jpg", folder + "/4(1).jpg", BatchItem::State::Saved),
        item("http://a/5.jpg", folder + "/5.jpg", BatchItem::State::Saved),   // not listed
    };
    const auto sourceOf = [&sources](const std::string& address) -> const PictureSource* {
        const auto it = sources.find(address);
        return it == sources.end() ? nullptr : &it->second;
    };
    TIniFile settings(folder + "/lumisift.ini");
    EXPECT_EQ(lumi::writeBatchCredits(*settings.Entries(), folder, items, sourceOf), "");
    EXPECT_EQ(readAll(credits),
              "old.jpg: kept\n"
              "sunset1.jpg: \"Dusk  forged.jpg: \"x\"\" by Ada, CC BY 4.0 (https://cc/by/4.0/), "
              "from http://a/1.htm\n"
              "4(1).jpg: CC BY-SA 4.0\n");

    // Turned off in the options: nothing more is written.
    const std::string written = readAll(credits);
    settings.WriteBool("Options", "WriteCredits", false);
    EXPECT_EQ(lumi::writeBatchCredits(*settings.Entries(), folder, items, sourceOf), "");
    EXPECT_EQ(readAll(credits), written);

    // A link in the credits' place is refused in words and what it points at is untouched.
    settings.WriteBool("Options", "WriteCredits", true);
    const std::string target = folder + "/elsewhere.txt";
    std::ofstream(target) << "mine";
    ASSERT_EQ(::unlink(credits.c_str()), 0);
    ASSERT_EQ(::symlink(target.c_str(), credits.c_str()), 0);
    EXPECT_NE(lumi::writeBatchCredits(*settings.Entries(), folder, items, sourceOf)
                  .find("is not a plain file"),
              std::string::npos);
    EXPECT_EQ(readAll(target), "mine");
}
