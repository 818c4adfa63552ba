#include "base/OptionsSettings.h"

#include <fstream>
#include <sstream>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "base/IniFiles.h"

namespace {

TEST(OptionsSettings, NumberFieldsTakeTrimmedDecimalsWithinTheirRange) {
    using lumi::OptionsField;
    struct Case {
        const char* text;
        bool size; // a size or the wait: 0 or more
        bool port; // 1 to 65535
    } cases[] = {
        {"20", true, true},    {"0", true, false},     {"-5", false, false},
        {"+7", true, true},    {" 7 ", true, true},    {"\t12", true, true},
        {"abc", false, false}, {"", false, false},     {"  ", false, false},
        {"12x", false, false}, {"0x10", false, false}, {"99999999999", false, false},
        {"65535", true, true}, {"65536", true, false}, {"-", false, false},
        {"1 2", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(!lumi::optionsFieldProblem(OptionsField::LargerThan, c.text), c.size) << c.text;
        EXPECT_EQ(!lumi::optionsFieldProblem(OptionsField::Wait, c.text), c.size) << c.text;
        EXPECT_EQ(!lumi::optionsFieldProblem(OptionsField::ProxyPort, c.text), c.port) << c.text;
    }
    EXPECT_EQ(*lumi::optionsFieldProblem(OptionsField::LargerThan, "abc"),
              "Must be larger than: enter a whole number of kilobytes");
}

TEST(OptionsSettings, OkFindsTheFirstBadFieldInWritingOrderAmongTheFieldsInUse) {
    lumi::OptionsValues v;
    EXPECT_FALSE(lumi::firstBadOptionsField(v));
    v.proxyPort = "eighty";
    v.smallerThan = "huge";
    EXPECT_FALSE(lumi::firstBadOptionsField(v)) << "the proxy and the upper bound are off";
    v.useProxy = true;
    ASSERT_TRUE(lumi::firstBadOptionsField(v));
    EXPECT_EQ(lumi::firstBadOptionsField(v)->field, lumi::OptionsField::ProxyPort);
    v.wait = "soon";
    v.largerThan = "big";
    const auto bad = lumi::firstBadOptionsField(v);
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->field, lumi::OptionsField::LargerThan);
    v.smallerThanBool = true;
    EXPECT_EQ(lumi::firstBadOptionsField(v)->field, lumi::OptionsField::SmallerThan);
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
