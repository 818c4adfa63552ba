#include "base/IniFiles.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "base/Clock.h"

namespace {

class IniFilesTest : public testing::Test {
protected:
    QTemporaryDir dir;
    std::string path() const { return dir.path().toStdString() + "/lumisift.ini"; }
    void writeFile(const std::string& text) { std::ofstream(path(), std::ios::binary) << text; }
    std::string readFile() const {
        std::ifstream in(path(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(IniFilesTest, MissingFileGivesEachReadersDefaultAndIsNotCreated) {
    TIniFile ini(path());
    EXPECT_TRUE(ini.ReadBool("Options", "SlowConnection", true));
    EXPECT_EQ(ini.ReadInteger("Options", "LargerThan", 10), 10);
    EXPECT_EQ(ini.ReadString("Options", "ProxyPort", "80"), "80");
    EXPECT_FALSE(std::filesystem::exists(path()));
}

TEST_F(IniFilesTest, NamesMatchWithoutCaseAndValuesDecodeAsClassicReaders) {
    writeFile("[options]\r\nSmallerThanbool=0\r\nLargerThan=0x14\r\nWidth=abc\r\nUseProxy=2\r\n"
              "ProxyServer=\r\nWait= 7 \r\n[Other]\r\nWait=99\r\n");
    TIniFile ini(path());
    EXPECT_FALSE(ini.ReadBool("Options", "SmallerThanBool", true));
    EXPECT_EQ(ini.ReadInteger("Options", "LARGERTHAN", 10), 20);
    EXPECT_EQ(ini.ReadInteger("Options", "Width", 1), 1);
    EXPECT_TRUE(ini.ReadBool("Options", "UseProxy", false));
    EXPECT_EQ(ini.ReadString("Options", "ProxyServer", "dflt"), "");
    EXPECT_EQ(ini.ReadInteger("Options", "Wait", 10), 7);
    EXPECT_TRUE(ini.ReadBool("Options", "ProxyServer", true)) << "empty value reads as the default";
}

TEST_F(IniFilesTest, LongTextsAreCutTo2047Characters) {
    TIniFile ini(path());
    ini.WriteString("Options", "SavePath", std::string(3000, 'x'));
    EXPECT_EQ(ini.ReadString("Options", "SavePath", ""), std::string(2047, 'x'));
}

TEST_F(IniFilesTest, WritesReplaceInPlaceAppendToTheSectionAndCreateWhatIsMissing) {
    writeFile("; comment\n[Options]\nWait=10\n\n[Later]\nx=1\n");
    TIniFile ini(path());
    ini.WriteInteger("OPTIONS", "wait", 3);
    ini.WriteBool("Options", "SubDir", true);
    ini.WriteString("New", "Key", "v");
    EXPECT_EQ(readFile(), "; comment\n[Options]\nwait=3\nSubDir=1\n\n[Later]\nx=1\n\n[New]\nKey=v\n");

    std::filesystem::remove(path());
    TIniFile fresh(path());
    fresh.WriteBool("Options", "Maximized", false);
    EXPECT_EQ(readFile(), "[Options]\nMaximized=0\n");
    // It may hold the proxy password: its owner's alone.
    EXPECT_EQ(std::filesystem::status(path()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(IniFilesTest, CrLfFilesStayCrLfAndLineBreaksInValuesCannotForgeEntries) {
    writeFile("[Options]\r\nWait=10\r\n");
    TIniFile ini(path());
    ini.WriteString("Options", "ProxyServer", "host\r\nUseProxy=1");
    EXPECT_EQ(readFile(), "[Options]\r\nWait=10\r\nProxyServer=host  UseProxy=1\r\n");
    EXPECT_FALSE(ini.ReadBool("Options", "UseProxy", false));
}

TEST_F(IniFilesTest, RefusedWriteRaisesWithThePathAndLeavesTheOldFileWhole) {
    if (geteuid() == 0) {
        // root ignores permission bits: use a path whose folder does not exist instead.
        TIniFile ini(dir.path().toStdString() + "/missing/lumisift.ini");
        try {
            ini.WriteBool("Options", "X", true);
            FAIL() << "no exception";
        } catch (const lumi::SettingsWriteError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir.path().toStdString() + "/missing/lumisift.ini");
        }
        return;
    }
    writeFile("[Options]\nWait=10\n");
    chmod(dir.path().toLocal8Bit().constData(), 0500);
    TIniFile ini(path());
    EXPECT_THROW(ini.WriteInteger("Options", "Wait", 1), lumi::SettingsWriteError);
    chmod(dir.path().toLocal8Bit().constData(), 0700);
    EXPECT_EQ(readFile(), "[Options]\nWait=10\n");
}

} // namespace

TEST_F(IniFilesTest, ReadsSeeTheProgramsWritesAtOnceAndOutsideEditsFromTheNextTick) {
    uint32_t tick = 1000;
    lumi::setTickSource([&] { return tick; });
    writeFile("[Options]\nWait=1\n");
    TIniFile reader(path()), writer(path());
    EXPECT_EQ(reader.ReadInteger("Options", "Wait", 0), 1);
    writeFile("[Options]\nWait=2\n"); // in place, same size, within the file system's time stamp
    ++tick;
    EXPECT_EQ(reader.ReadInteger("Options", "Wait", 0), 2);
    writer.WriteInteger("Options", "Wait", 3);
    const auto entries = reader.Entries();
    EXPECT_EQ(entries->ReadInteger("options", "WAIT", 0), 3);
    std::filesystem::remove(path());
    ++tick;
    EXPECT_EQ(reader.ReadInteger("Options", "Wait", 0), 0) << "a removed file reads as defaults";
    EXPECT_EQ(entries->ReadInteger("Options", "Wait", 0), 3) << "taken entries stay as read";
    lumi::setTickSource({});
}

namespace {

// Keys Key0 … Key<keys-1>, each "<run>-<round>": a writer killed between two writes leaves
// keys 0..j at one value and the rest at the value before it.
bool isOneWritersState(const TIniFile& ini, int keys) {
    std::string first, rest;
    for (int k = 0; k < keys; ++k) {
        const std::string value = ini.ReadString("Options", "Key" + std::to_string(k), "");
        if (value.empty() || value.find('-') == std::string::npos) return false;
        if (first.empty()) first = value;
        if (value != first) {
            if (rest.empty()) rest = value;
            if (value != rest) return false;
        }
    }
    return true;
}

} // namespace

TEST_F(IniFilesTest, WriterKilledAtRandomMomentsLeavesOldOrNewContentNeverAHalfWrittenFile) {
    constexpr int Keys = 12;
    constexpr int Kills = 200;
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> pauseMicroseconds(0, 3000);
    for (int run = 1; run <= Kills; ++run) {
        QProcess writer;
        writer.start(QStringLiteral(INI_WRITER_CHILD),
                     {QString::fromStdString(path()), QString::number(run), QString::number(Keys)});
        ASSERT_TRUE(writer.waitForReadyRead(30000)) << "run " << run;
        std::this_thread::sleep_for(std::chrono::microseconds(pauseMicroseconds(random)));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(30000));

        const std::string text = readFile();
        ASSERT_FALSE(text.empty()) << "run " << run;
        ASSERT_EQ(text.back(), '\n') << "cut short in run " << run << ":\n" << text;
        ASSERT_TRUE(isOneWritersState(TIniFile(path()), Keys)) << "run " << run << ":\n" << text;
    }
}
