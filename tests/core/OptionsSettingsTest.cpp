#include "core/OptionsSettings.h"

#include <fstream>
#include <sstream>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "core/IniFiles.h"

namespace {

TEST(OptionsSettings, FieldChecksAcceptIntegersAndThePortOnlyFromZeroUp) {
    struct Case {
        const char* text;
        bool integer;
        bool port;
    } cases[] = {
        {"20", true, true},    {"0", true, true},     {"-1", true, false},
        {"+7", true, true},    {"abc", false, false}, {"", false, false},
        {"12x", false, false}, {" 5", false, false},  {"99999999999", false, false},
        {"0x1F", true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lumi::isIntegerField(c.text), c.integer) << c.text;
        EXPECT_EQ(lumi::isProxyPortField(c.text), c.port) << c.text;
    }
}

TEST(OptionsSettings, OkFindsTheFirstBadFieldInWritingOrderAndThePortOnlyWithTheProxyOn) {
    lumi::OptionsValues v;
    EXPECT_FALSE(lumi::firstBadOptionsField(v));
    v.proxyPort = "eighty";
    EXPECT_FALSE(lumi::firstBadOptionsField(v)) << "the port is not converted with the proxy off";
    v.useProxy = true;
    ASSERT_TRUE(lumi::firstBadOptionsField(v));
    EXPECT_EQ(lumi::firstBadOptionsField(v)->field, lumi::OptionsField::ProxyPort);
    v.wait = "soon";
    v.largerThan = "big";
    const auto bad = lumi::firstBadOptionsField(v);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->field, lumi::OptionsField::LargerThan);
    EXPECT_EQ(bad->message, "'big' is not a valid integer value");
}

TEST(OptionsSettings, WritesInOrderUnderTheWrittenSpellingAndReadsBackTheSame) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("lumisift.ini")).toStdString();
    // An entry in the readers' spelling is replaced in place, not doubled.
    std::ofstream(path) << "[Options]\nSmallerThanBool=0\n";
    TIniFile ini(path);
    lumi::OptionsValues v;
    v.slowConnection = false;
    v.smallerThanBool = true;
    v.largerThan = "-5";
    v.wait = "3";
    v.savePath = "/home/u/pics/";
    v.useProxy = true;
    v.proxyServer = "proxy.example";
    v.proxyPort = "3128";
    v.proxyPass = "secret";
    lumi::writeSearchAndDownloadOptions(ini, v);
    lumi::writeProxyOptions(ini, v);

    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_EQ(text.str(), "[Options]\nSmallerThanbool=1\nSlowConnection=0\nLargerThanBool=1\n"
                          "SmallerThan=1000\nLargerThan=-5\nWait=3\nSubDir=0\nNumberedList=0\n"
                          "SavePath=/home/u/pics/\nUseProxy=1\nProxyServer=proxy.example\n"
                          "ProxyPort=3128\nProxyName=\nProxyPass=secret\n");
    EXPECT_TRUE(ini.ReadBool("Options", "SmallerThanBool", false));
    EXPECT_EQ(lumi::storedWait(ini), 3);
    const lumi::OptionsValues back = lumi::readOptions(ini);
    EXPECT_EQ(back.largerThan, "-5");
    EXPECT_TRUE(back.smallerThanBool);
    EXPECT_FALSE(back.slowConnection);
    EXPECT_EQ(back.proxyPass, "secret");
}

} // namespace
