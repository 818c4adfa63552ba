#include "base/AppPaths.h"

#include <string>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Puts the user's configuration and cache folders and every program folder into a scratch
// tree, and restores the real ones afterwards.
class AppPathsTest : public testing::Test {
protected:
    QTemporaryDir scratch;
    QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    QByteArray savedCache = qgetenv("XDG_CACHE_HOME");

    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", (scratch.path() + QStringLiteral("/config")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", (scratch.path() + QStringLiteral("/cache")).toLocal8Bit());
    }
    void TearDown() override {
        lumi::setProgramFolder("");
        qputenv("XDG_CONFIG_HOME", savedConfig);
        qputenv("XDG_CACHE_HOME", savedCache);
    }
    std::string path(const char* relative) const {
        return scratch.path().toStdString() + "/" + relative;
    }
    std::string makeFolder(const char* relative) const {
        QDir().mkpath(QString::fromStdString(path(relative)));
        return path(relative);
    }
    static void touch(const std::string& file) {
        QFile(QString::fromStdString(file)).open(QIODevice::WriteOnly);
    }
    static std::string canonical(const std::string& file) {
        return QFileInfo(QString::fromStdString(file)).canonicalFilePath().toStdString();
    }
};

TEST_F(AppPathsTest, FilesStayBesideOnlyAProgramInAFolderTheUserOwnsOutsideAnInstallTree) {
    const struct {
        const char* folder;
        bool beside;
    } cases[] = {
        {"work/lumisift/build/src/shell", true}, // a build tree
        {"Downloads/lumisift-1.4", true},        // an unpacked folder
        {"root/usr/bin", false},                 // a package unpacked under another root
        {"root/usr/local/bin", false},
        {"root/usr/games", false},
        {"root/opt/lumisift", false},
        {"home/.local/bin", false}, // cmake --install --prefix ~/.local
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string folder = makeFolder(c.folder);
        lumi::setProgramFolder(folder);
        EXPECT_EQ(lumi::runsFromOwnFolder(), c.beside);
        EXPECT_EQ(lumi::settingsFilePath(),
                  c.beside ? folder + "/lumisift.ini" : path("config/lumisift/lumisift.ini"));
        EXPECT_EQ(lumi::slideshowFolder(),
                  c.beside ? folder + "/slideshow/" : path("cache/lumisift/slideshow/"));
        EXPECT_EQ(lumi::registryStorePath(), path("config/lumisift/registry.ini"));
        EXPECT_TRUE(QDir(QString::fromStdString(folder)).isEmpty());
    }
    // The user's folders exist for the store to write into.
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(path("config/lumisift"))));
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(path("cache/lumisift"))));
}

TEST_F(AppPathsTest, ProgramsOfABuildTreeShareOneSettingsFileAtItsRoot) {
    touch(makeFolder("tree/build") + "/" + LUMISIFT_BUILD_MARKER);
    for (const char* program : {"tree/build/src/shell", "tree/build/src/cli"}) {
        SCOPED_TRACE(program);
        lumi::setProgramFolder(makeFolder(program));
        EXPECT_EQ(lumi::settingsFilePath(), path("config/lumisift/lumisift.ini"));
        qunsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(lumi::settingsFilePath(), path("tree/build/lumisift.ini"));
        SetUp();
    }
}

TEST_F(AppPathsTest, ShippedFilesAreFoundBesideTheProgramFirstThenInTheInstallFolders) {
    const std::string bin = makeFolder("root/usr/bin");
    makeFolder("root/usr/share/lumisift");
    makeFolder("root/usr/lib/lumisift");
    touch(path("root/usr/share/lumisift/loading.bmp"));
    touch(path("root/usr/lib/lumisift/libbanner.so"));
    lumi::setProgramFolder(bin);

    EXPECT_EQ(canonical(lumi::dataFilePath("loading.bmp")),
              canonical(path("root/usr/share/lumisift/loading.bmp")));
    EXPECT_EQ(canonical(lumi::dataFilePath("libbanner.so")),
              canonical(path("root/usr/lib/lumisift/libbanner.so")));
    EXPECT_EQ(lumi::dataFilePath("missing.bmp"), bin + "/missing.bmp");

    touch(bin + "/loading.bmp");
    EXPECT_EQ(lumi::dataFilePath("loading.bmp"), bin + "/loading.bmp");
}

} // namespace
