#include "base/FolderScan.h"

#include <filesystem>
#include <fstream>

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

TEST(FolderScan, DriveKindsFollowTheFileSystemAndTheMountPoint) {
    struct Case {
        const char* type;
        const char* root;
        TDriveType kind;
    } cases[] = {
        {"ext4", "/", drtFixed},
        {"overlay", "/", drtFixed},
        {"tmpfs", "/tmp/", drtRamDisk},
        {"ramfs", "/media/r/", drtRamDisk},
        {"iso9660", "/media/cd/", drtCDRom},
        {"udf", "/mnt/dvd/", drtCDRom},
        {"nfs4", "/net/home/", drtRemote},
        {"fuse.sshfs", "/media/s/", drtRemote},
        {"cifs", "/mnt/share/", drtRemote},
        {"vfat", "/media/usb/", drtRemovable},
        {"exfat", "/run/media/u/KEY/", drtRemovable},
        {"", "/x/", drtUnknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lumi::driveTypeOf(c.type, c.root), c.kind) << c.type;
}

TEST(FolderScan, DriveLabels) {
    lumi::MountedDrive d;
    d.root = "/data/";
    d.type = drtFixed;
    d.readable = true;
    d.volumeLabel = "Data";
    EXPECT_EQ(lumi::driveLabel(d), "Data (/data/)");
    d.volumeLabel.clear();
    EXPECT_EQ(lumi::driveLabel(d), "(/data/)");
    d.volumeLabel = "Data";
    d.readable = false;
    EXPECT_EQ(lumi::driveLabel(d), "(/data/)");
    d.type = drtRemovable;
    d.displayName = "KEY";
    EXPECT_EQ(lumi::driveLabel(d), "KEY");
}

TEST(FolderScan, RecycleBinAndAttributeFilters) {
    struct Case {
        const char* path;
        bool shown;
    } bins[] = {
        {"/d/RECYCLED/", true},
        {"/d/Recycled/S-1-5/", false},
        {"/d/recycler/x/y/", false},
        {"/d/recycledx/a/", true},
        {"/d/.Trash-1000/", true},
        {"/d/.Trash-1000/files/", false},
        {"/home/u/.local/share/Trash/files/", false},
        {"/home/u/Trash/files/", true},
    };
    for (const Case& c : bins) {
        EXPECT_EQ(lumi::passesRecycleBinRule(c.path, false), c.shown) << c.path;
        EXPECT_TRUE(lumi::passesRecycleBinRule(c.path, true)) << c.path;
    }
    EXPECT_TRUE(lumi::passesAttributeFilter(true, {dtAll}));
    EXPECT_FALSE(lumi::passesAttributeFilter(true, {dtNormal}));
    EXPECT_TRUE(lumi::passesAttributeFilter(true, {dtHidden}));
    EXPECT_FALSE(lumi::passesAttributeFilter(false, {dtHidden, dtReadOnly}));
    EXPECT_TRUE(lumi::passesAttributeFilter(false, {dtNormal}));
}

class FolderTree : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = dir.path().toStdString() + "/";
        for (const char* folder :
             {"beta/inner", "Alpha", "alpha2", ".hidden/x", "Recycled/gone", "Pics/Holiday"})
            fs::create_directories(root + folder);
        std::ofstream(root + "file.txt") << "not a folder";
    }
    QTemporaryDir dir;
    std::string root;
};

TEST_F(FolderTree, LevelIsSortedFilteredAndMarksFoldersWithShownSubfolders) {
    const auto normalOnly = [](const std::string& path, const lumi::FolderEntry& entry) {
        return lumi::passesRecycleBinRule(path, false) &&
               lumi::passesAttributeFilter(entry.hidden, {dtNormal});
    };
    std::string names;
    for (const lumi::SubFolder& f : lumi::readFolderLevel(root, lumi::listFolder, normalOnly))
        names += f.name + (f.hasSubFolders ? "+ " : " ");
    // The recycle bin shows but not what lies below it; the hidden folder is left out.
    EXPECT_EQ(names, "Alpha alpha2 beta+ Pics+ Recycled ");

    // Past the time for looking into children, each is taken to hold folders.
    names.clear();
    for (const lumi::SubFolder& f :
         lumi::readFolderLevel(root, lumi::listFolder, normalOnly,
                               std::chrono::steady_clock::now() - std::chrono::seconds(1)))
        names += f.name + (f.hasSubFolders ? "+ " : " ");
    EXPECT_EQ(names, "Alpha+ alpha2+ beta+ Pics+ Recycled+ ");
}

TEST_F(FolderTree, PathsResolveWithoutRegardToCasePreferringTheExactName) {
    fs::create_directories(root + "PICS");
    const auto list = lumi::listFolder;
    EXPECT_EQ(lumi::resolveFolderAnyCase(root + "pics/HOLIDAY", list), root + "Pics/Holiday/");
    EXPECT_EQ(lumi::resolveFolderAnyCase(root + "PICS/", list), root + "PICS/");
    EXPECT_EQ(lumi::resolveFolderAnyCase(root + "beta/../alpha/./", list), root + "Alpha/");
    EXPECT_FALSE(lumi::resolveFolderAnyCase(root + "missing/", list));
    EXPECT_FALSE(lumi::resolveFolderAnyCase(root + "file.txt/", list));
    EXPECT_FALSE(lumi::resolveFolderAnyCase("relative/path/", list));
}

TEST_F(FolderTree, CreateDirMakesOneLevelAndRefusesNamesThatLeaveTheFolder) {
    using R = lumi::CreateFolderResult;
    EXPECT_EQ(lumi::createSubFolder(root + "Pics/", "new"), R::Created);
    EXPECT_TRUE(fs::is_directory(root + "Pics/new"));
    EXPECT_EQ(lumi::createSubFolder(root + "Pics/", "new"), R::Exists);
    EXPECT_EQ(lumi::createSubFolder(root + "Pics/", ""), R::Exists);
    EXPECT_EQ(lumi::createSubFolder(root, "file.txt"), R::Failed);
    for (const char* refused : {"..", ".", "a/b", "../escape", "/abs"})
        EXPECT_EQ(lumi::createSubFolder(root + "Pics/", refused), R::Failed) << refused;
    EXPECT_FALSE(fs::exists(root + "escape"));
    EXPECT_FALSE(fs::exists(root + "Pics/a"));
}

TEST(FolderScan, BoundedRunGivesUpOnWorkThatDoesNotFinish) {
    auto release = std::make_shared<std::promise<void>>();
    auto gate = release->get_future().share();
    const auto slow =
        lumi::runBounded<int>([gate] { return gate.wait(), 1; }, std::chrono::milliseconds(20));
    EXPECT_FALSE(slow);
    release->set_value();
    EXPECT_EQ(lumi::runBounded<int>([] { return 7; }, std::chrono::seconds(30)), 7);
}

} // namespace
