// The version check without windows: lumisift-cli check-version against the maker's site of
// the stand-in web, over three program starts.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "SandboxProcess.h"

using lumi::test::runCli;
using lumi::test::SandboxProcess;

TEST(CheckVersionEndToEnd, RecordsThenStaysQuietThenIgnoresAPlainHttpDownloadAddress) {
    QTemporaryDir scratch;
    const QStringList check{QStringLiteral("check-version"), QStringLiteral("--store"),
                            scratch.filePath(QStringLiteral("registry.ini"))};
    {
        SandboxProcess site;
        ASSERT_TRUE(site.running()) << site.error();
        const auto first = runCli(site, check, 30000);
        EXPECT_EQ(first.exitCode, 0) << first.errors;
        EXPECT_EQ(first.rows, std::vector<std::string>{"record\tLumisift\t1.4"});
        const auto again = runCli(site, check, 30000);
        EXPECT_EQ(again.rows, std::vector<std::string>{"same\tLumisift"});
    }
    SandboxProcess newer({QStringLiteral("--product-version"), QStringLiteral("1.5")});
    ASSERT_TRUE(newer.running()) << newer.error();
    const auto offered = runCli(newer, check, 30000);
    const std::string site = "127.0.0.1:" + std::to_string(newer.port());
    // The stand-in web speaks plain http: its download address is not offered.
    EXPECT_EQ(offered.rows,
              std::vector<std::string>{"ignore\tLumisift\t1.5\thttp://" + site + "/download.htm"});
    EXPECT_EQ(runCli(newer, check, 30000).rows, std::vector<std::string>{"same\tLumisift"});
}
