#include "widgets/DirTree.h"

#include <filesystem>
#include <map>

#include <QStorageInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class DirTreeTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = fs::canonical(dir.path().toStdString()).string() + "/";
        for (const char* folder : {"Pics/Holiday", "Pics/.thumbs", "Music", "Recycled/old"})
            fs::create_directories(root + folder);
        tree.FastLoad = true;
        tree.OnChange = [this](TDirTree*, QTreeWidgetItem*) { ++changes; };
    }
    std::vector<std::string> childNames(const std::string& path) {
        tree.SelectPath(path);
        QTreeWidgetItem* node = tree.currentItem();
        tree.expandItem(node);
        std::vector<std::string> names;
        for (int i = 0; node && i < node->childCount(); ++i)
            names.push_back(node->child(i)->text(0).toStdString());
        return names;
    }

    QTemporaryDir dir;
    std::string root;
    TDirTree tree;
    int changes = 0;
};

TEST_F(DirTreeTest, SelectPathMatchesAnyCaseLoadingEachLevelAndRejectsAnEmptyPath) {
    tree.InitialDirectory = root + "music";
    tree.Loaded();
    EXPECT_EQ(tree.Directory(), root + "Music/");
    ASSERT_GT(tree.topLevelItemCount(), 0);
    EXPECT_EQ(TDirTree::NodePath(tree.topLevelItem(0)), "/");

    tree.SelectPath(root + "PICS/holiday");
    EXPECT_EQ(tree.Directory(), root + "Pics/Holiday/");
    EXPECT_GT(changes, 0);
    EXPECT_THROW(
        try { tree.SelectPath(""); } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "Invalid Path Name");
            throw;
        },
        std::exception);
    tree.SelectPath("?");
    EXPECT_EQ(tree.Directory(), root + "Pics/Holiday/");
    tree.setCurrentItem(nullptr);
    EXPECT_EQ(tree.Directory(), "?");
    // With nothing selected, Reload goes to the folder last selected on the first drive.
    tree.Reload();
    const bool onRootDrive =
        QStorageInfo(QString::fromStdString(root)).rootPath() == QStringLiteral("/");
    EXPECT_EQ(tree.Directory(), onRootDrive ? root + "Pics/Holiday/" : "/");
    // A missing folder falls back to the root of the current directory's drive.
    tree.SelectPath(root + "nowhere/");
    ASSERT_NE(tree.currentItem(), nullptr);
    EXPECT_EQ(tree.currentItem()->parent(), nullptr) << tree.Directory();
}

TEST_F(DirTreeTest, FiltersFollowDirTypesTheRecycleBinAndOnAddDir) {
    tree.ReadOnStart = true;
    tree.Loaded();
    EXPECT_EQ(childNames(root + "Pics"), (std::vector<std::string>{".thumbs", "Holiday"}));
    EXPECT_TRUE(childNames(root + "Recycled").empty());

    tree.DirTypes = {dtNormal};
    tree.GoBelowRecycleBin = true;
    tree.Reload();
    EXPECT_EQ(childNames(root + "Pics"), (std::vector<std::string>{"Holiday"}));
    EXPECT_EQ(childNames(root + "Recycled"), (std::vector<std::string>{"old"}));

    tree.OnAddDir = [](TDirTree*, const std::string& path, bool& doAdd) {
        doAdd = path.find("/Music/") == std::string::npos;
    };
    tree.Reload();
    EXPECT_EQ(childNames(root), (std::vector<std::string>{"Pics", "Recycled"}));
}

TEST_F(DirTreeTest, OnFindDirReplacesReadingTheDisk) {
    // A made-up folder tree under the real temporary folder.
    std::map<std::string, std::vector<lumi::FolderEntry>> listings = {
        {root, {{"Only", true, false}, {"note.txt", false, false}}},
        {root + "Only/", {}},
    };
    size_t next = 0;
    tree.OnFindDir = [&](TDirTree*, const std::string& path, lumi::FolderEntry& rec, int& result,
                         bool first) {
        if (!listings.count(path)) listings[path] = lumi::listFolder(path);
        const std::vector<lumi::FolderEntry>& entries = listings[path];
        if (first) next = 0;
        result = next < entries.size() ? 0 : 1;
        if (result == 0) rec = entries[next++];
    };
    tree.Loaded();
    EXPECT_EQ(childNames(root), (std::vector<std::string>{"Only"}));
}

} // namespace
