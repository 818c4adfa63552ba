#include "base/OptionsSettings.h"

#include <fstream>
#include <sstream>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "base/IniFiles.h"

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

TEST(OptionsSettings, TheUpperBoundSwitchWrittenAsSmallerThanbool_IsTheOneEveryReaderFinds) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("lumisift.ini")).toStdString();
    std::ofstream(path) << "[Options]\nSmallerThanBool=0\n";
    TIniFile ini(path);
    lumi::OptionsValues v;
    v.smallerThanBool = true;
    v.wait = "3";
    lumi::writeSearchAndDownloadOptions(ini, v);

    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    // Replaced in place under the written spelling, not added a second time.
    EXPECT_EQ(text.str().rfind("[Options]\nSmallerThanbool=1\n", 0), 0u);
    EXPECT_EQ(text.str().find("SmallerThanBool"), std::string::npos);
    EXPECT_TRUE(ini.ReadBool("Options", "SmallerThanBool", false));
    EXPECT_TRUE(lumi::readOptions(ini).smallerThanBool);
    EXPECT_EQ(lumi::storedWait(ini), 3);
}

TEST(OptionsSettings, TheBannerGetsTheSavedProxyOnlyWhenItIsOn) {
    QTemporaryDir dir;
    TIniFile ini(dir.filePath(QStringLiteral("lumisift.ini")).toStdString());
    EXPECT_EQ(lumi::storedBannerProxy(ini).host, std::nullopt);
    EXPECT_EQ(lumi::storedBannerProxy(ini).port, 80);
    ini.WriteString("Options", "ProxyServer", "proxy.example");
    EXPECT_EQ(lumi::storedBannerProxy(ini).host, std::nullopt) << "the proxy is off";
    ini.WriteBool("Options", "UseProxy", true);
    EXPECT_EQ(lumi::storedBannerProxy(ini).host, "proxy.example");
    EXPECT_EQ(lumi::storedBannerProxy(ini).port, 80) << "the port's default";
    ini.WriteString("Options", "ProxyPort", "8080");
    EXPECT_EQ(lumi::storedBannerProxy(ini).port, 8080);
    ini.WriteString("Options", "ProxyPort", "80a");
    EXPECT_THROW(lumi::storedBannerProxy(ini), std::invalid_argument);
}

} // namespace
