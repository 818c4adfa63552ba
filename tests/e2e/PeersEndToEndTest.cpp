// The same searches with real peers: through tinyproxy, and from a static copy of the sites
// that nginx serves.
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "SandboxProcess.h"
#include "analysis/ArchiveService.h"
#include "common/Peers.h"

using lumi::test::kQuickSandbox;
using lumi::test::kUntilIdle;
using lumi::test::SandboxProcess;
using lumi::test::writeIni;

TEST(PeersEndToEnd, SearchThroughTinyproxyFindsTheSamePictures) {
    lumi::test::TinyproxyPeer proxy;
    ASSERT_TRUE(proxy.running()) << proxy.error();
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const std::string phrase = "red cars";
    const QString ini =
        writeIni(dir, "SlowConnection=0\r\nUseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=" +
                          std::to_string(proxy.port()) + "\r\n");
    const auto run = runCliSearch(
        sandbox,
        QStringList{QString::fromStdString(phrase), QStringLiteral("--ini"), ini} + kUntilIdle);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.rows, sandbox.expected(phrase));
    // The requests went through the proxy.
    EXPECT_NE(proxy.log().find(":" + std::to_string(sandbox.port()) + "/w/"), std::string::npos)
        << proxy.log();
}

// doctor goes through the settings' proxy as a search does, and names it: through a proxy
// that is down every service fails, through one that is up every one answers.
TEST(PeersEndToEnd, DoctorGoesThroughTheProxyOfTheSettings) {
    lumi::test::TinyproxyPeer up;
    ASSERT_TRUE(up.running()) << up.error();
    SandboxProcess sandbox(kQuickSandbox);
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    for (const int port : {lumi::test::freeLoopbackPort(), up.port()}) {
        QTemporaryDir dir;
        const std::string proxy = "127.0.0.1:" + std::to_string(port);
        const auto run =
            runCli(sandbox, {QStringLiteral("doctor"), QStringLiteral("--ini"),
                             writeIni(dir, "UseProxy=1\r\nProxyServer=" + proxy +
                                               "\r\n[Services]\r\nHotBot=0\r\nLycos=0\r\n"
                                               "ScourNet=0\r\nLycosImagesDirect=0\r\n")});
        EXPECT_EQ(run.exitCode, port == up.port() ? 0 : 1) << run.errors;
        ASSERT_EQ(run.rows.size(), 1 + lumi::archiveServices().size()) << run.errors;
        EXPECT_EQ(run.rows[0], "Connection: through proxy " + proxy);
        for (size_t i = 1; i < run.rows.size(); ++i)
            EXPECT_NE(run.rows[i].find(port == up.port() ? ": reachable yes" : ": reachable no"),
                      std::string::npos)
                << run.rows[i];
    }
}

TEST(PeersEndToEnd, StaticCopyServedByNginxGivesTheSamePictures) {
    QTemporaryDir copy;
    ASSERT_TRUE(copy.isValid());
    lumi::test::NginxPeer nginx(copy.path().toStdString());
    ASSERT_TRUE(nginx.running()) << nginx.error();
    const QString sites = QStringLiteral("127.0.0.1:%1").arg(nginx.port());
    const std::string phrase = "stone bridge";
    QProcess exporter;
    exporter.start(QStringLiteral(LUMISIFT_SANDBOX_EXE),
                   {QStringLiteral("--export"), copy.path(), QStringLiteral("--phrase"),
                    QString::fromStdString(phrase), QStringLiteral("--seed"), QStringLiteral("7"),
                    QStringLiteral("--sites-host"), sites});
    ASSERT_TRUE(exporter.waitForFinished(60000));
    ASSERT_EQ(exporter.exitCode(), 0) << exporter.readAllStandardError().toStdString();

    // The services still answer from the sandbox, but every site address names nginx.
    SandboxProcess sandbox(kQuickSandbox + QStringList{QStringLiteral("--seed"),
                                                       QStringLiteral("7"),
                                                       QStringLiteral("--sites-host"), sites});
    ASSERT_TRUE(sandbox.running()) << sandbox.error();
    QTemporaryDir dir;
    const auto run =
        runCliSearch(sandbox, QStringList{QString::fromStdString(phrase), QStringLiteral("--ini"),
                                          writeIni(dir, "SlowConnection=0\r\n")} +
                                  kUntilIdle);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    const auto expected = sandbox.expected(phrase, "static=on");
    ASSERT_GT(expected.size(), 30u);
    EXPECT_EQ(run.rows, expected);
    for (const auto& row : run.rows)
        EXPECT_NE(row.find("http://" + sites.toStdString() + "/w/"), std::string::npos) << row;
    // The copy answers with lengths where the sandbox streams without them; the addresses are
    // the same ones the sandbox itself gives.
    const auto addresses = [](const std::vector<std::string>& rows) {
        std::set<std::string> out;
        for (const auto& row : rows)
            out.insert(row.substr(row.find('\t') + 1));
        return out;
    };
    EXPECT_EQ(addresses(sandbox.expected(phrase)), addresses(expected));
}
