// lumisift-cli download against real peers: a batch from nginx, the same batch through
// tinyproxy with "UseProxy" on, proxy login, the exit codes and lines of failures and bad
// input, and a stop by SIGTERM.
#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <csignal>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "common/EventLoopWait.h"
#include "common/Peers.h"
#include "net/ScriptedServer.h"

namespace {

struct CliRun {
    int exitCode = -1;
    std::vector<std::string> lines; // stdout, sorted
    std::string err;
};

CliRun runDownload(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(LUMISIFT_CLI_PATH), QStringList{QStringLiteral("download")} + args);
    CliRun r;
    if (!p.waitForFinished(60000)) return r;
    r.exitCode = p.exitCode();
    r.err = p.readAllStandardError().toStdString();
    for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
        if (!line.isEmpty()) r.lines.push_back(line.toStdString());
    std::sort(r.lines.begin(), r.lines.end());
    return r;
}

std::string readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
}

// A web folder with pictures, one of whose bytes happen to spell "404".
struct WebFolder {
    QTemporaryDir dir;
    std::vector<std::pair<std::string, std::string>> pictures = {
        {"a.jpg", std::string("\xFF\xD8\xFF 404 \xFF\xD9", 10)},
        {"b.jpg", "\xFF\xD8\xFF" + std::string(300000, 'b')},
        {"c.gif", "GIF89a"},
    };
    WebFolder() {
        for (const auto& [name, bytes] : pictures) {
            std::ofstream(dir.filePath(QString::fromStdString(name)).toStdString(),
                          std::ios::binary)
                << bytes;
        }
    }
};

struct Target {
    QTemporaryDir dir;
    QString ini = dir.filePath(QStringLiteral("lumisift.ini"));
    QString pics = dir.filePath(QStringLiteral("pics"));
    void settings(const std::string& options) const {
        std::ofstream(ini.toStdString()) << "[Options]\r\nSavePath=" << pics.toStdString()
                                         << "\r\nSubDir=1\r\nNumberedList=1\r\n"
                                         << options;
    }
};

void expectBatchSaved(const lumi::test::NginxPeer& web, const WebFolder& folder,
                      const std::string& options) {
    Target target;
    target.settings(options);
    const std::vector<std::string> urls = {web.url("/a.jpg"), web.url("/b.jpg"), web.url("/c.gif")};
    const CliRun r =
        runDownload({QStringLiteral("--ini"), target.ini, QStringLiteral("--phrase"),
                     QStringLiteral("red cars"), QString::fromStdString(urls[0]),
                     QString::fromStdString(urls[1]), QString::fromStdString(urls[2])});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string saved = target.pics.toStdString() + "/red cars/";
    const std::vector<std::string> expected = {
        "saved\t" + urls[0] + "\t" + saved + "red cars_1.jpg",
        "saved\t" + urls[1] + "\t" + saved + "red cars_2.jpg",
        "saved\t" + urls[2] + "\t" + saved + "red cars_1.gif",
    };
    std::vector<std::string> sortedExpected = expected;
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(r.lines, sortedExpected);
    EXPECT_EQ(readFile(QString::fromStdString(saved + "red cars_1.jpg")),
              folder.pictures[0].second);
    EXPECT_EQ(readFile(QString::fromStdString(saved + "red cars_2.jpg")),
              folder.pictures[1].second);
    EXPECT_EQ(readFile(QString::fromStdString(saved + "red cars_1.gif")),
              folder.pictures[2].second);
}

} // namespace

TEST(CliDownloadPeers, BatchFromNginxDirectAndThroughTinyproxy) {
    WebFolder folder;
    lumi::test::NginxPeer web(folder.dir.path().toStdString());
    ASSERT_TRUE(web.running()) << web.error();
    {
        SCOPED_TRACE("direct");
        expectBatchSaved(web, folder, "");
    }
    lumi::test::TinyproxyPeer proxy;
    ASSERT_TRUE(proxy.running()) << proxy.error();
    {
        SCOPED_TRACE("through the proxy");
        expectBatchSaved(web, folder,
                         "UseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=" +
                             std::to_string(proxy.port()) + "\r\n");
    }
    EXPECT_NE(proxy.log().find("/b.jpg"), std::string::npos) << proxy.log();
}

TEST(CliDownloadPeers, FailuresAreReportedWithoutFilesAndBadInputExitsWithTwo) {
    WebFolder folder;
    lumi::test::NginxPeer web(folder.dir.path().toStdString());
    ASSERT_TRUE(web.running()) << web.error();
    Target target;
    std::ofstream(target.ini.toStdString())
        << "[Options]\r\nSavePath=" << target.pics.toStdString() << "\r\n";
    const std::string missing = web.url("/missing.jpg");
    const std::string folderItself = web.url("/..");
    const CliRun r =
        runDownload({QStringLiteral("--ini"), target.ini, QString::fromStdString(web.url("/a.jpg")),
                     QString::fromStdString(missing), QString::fromStdString(folderItself)});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::vector<std::string> expected = {
        "failed\t" + folderItself + "\tNo file name in " + target.pics.toStdString() + "/..",
        "failed\t" + missing + "\tHTTP/1.1 404 Not Found",
        "saved\t" + web.url("/a.jpg") + "\t" + target.pics.toStdString() + "/a.jpg",
    };
    EXPECT_EQ(r.lines, expected);
    EXPECT_EQ(QDir(target.pics).entryList(QDir::Files), QStringList({QStringLiteral("a.jpg")}));

    const CliRun none = runDownload({QStringLiteral("--ini"), target.ini});
    EXPECT_EQ(none.exitCode, 2);
    const CliRun unknown = runDownload({QStringLiteral("--fast"), QStringLiteral("http://h/a")});
    EXPECT_EQ(unknown.exitCode, 2);
    std::ofstream(target.ini.toStdString()) << "[Options]\r\nSavePath=\r\n";
    const CliRun noFolder =
        runDownload({QStringLiteral("--ini"), target.ini, QString::fromStdString(missing)});
    EXPECT_EQ(noFolder.exitCode, 2);
    EXPECT_EQ(noFolder.err, "You must specify a directory first!\nSet SavePath in the [Options] "
                            "section of " +
                                target.ini.toStdString() + ".\n");
    EXPECT_TRUE(noFolder.lines.empty());
}

// Guards proxy login: the options' name and password reach a proxy that asks for them, and
// a proxy that cannot be reached is named in the reason.
TEST(CliDownloadPeers, ProxyLoginFromTheOptionsAndADeadProxyNamed) {
    WebFolder folder;
    lumi::test::NginxPeer web(folder.dir.path().toStdString());
    ASSERT_TRUE(web.running()) << web.error();
    lumi::test::TinyproxyPeer proxy("BasicAuth lumi s3cret");
    ASSERT_TRUE(proxy.running()) << proxy.error();
    const std::string url = web.url("/c.gif");
    const std::string port = std::to_string(proxy.port());
    const std::string deadPort = std::to_string(lumi::test::freeLoopbackPort());
    struct Case {
        std::string options, line;
    };
    const std::vector<Case> cases = {
        {"ProxyServer=127.0.0.1\r\nProxyPort=" + port + "\r\nProxyName=lumi\r\nProxyPass=s3cret",
         "saved\t" + url + "\t"},
        {"ProxyServer=127.0.0.1\r\nProxyPort=" + port,
         "failed\t" + url + "\tHTTP/1.0 407 Proxy Authentication Required"},
        {"ProxyServer=127.0.0.1:" + deadPort,
         "failed\t" + url + "\tProxy 127.0.0.1:" + deadPort + ": Connection refused"},
        {"ProxyServer=", "failed\t" + url + "\tUseProxy is on but ProxyServer is empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        Target target;
        std::ofstream(target.ini.toStdString()) << "[Options]\r\nSavePath=" << target.pics.toStdString()
                                                << "\r\nUseProxy=1\r\n" << c.options << "\r\n";
        const CliRun r =
            runDownload({QStringLiteral("--ini"), target.ini, QString::fromStdString(url)});
        ASSERT_EQ(r.lines.size(), 1u) << r.err;
        EXPECT_EQ(r.lines[0].substr(0, c.line.size()), c.line);
    }
}

// Guards a stop by signal: the transfer is aborted, nothing but complete files stays, the
// user's file of that name is untouched, and the status says which signal ended it. A reader
// that closed the pipe stops the batch the same way, with a summary instead of a death.
TEST(CliDownload, SigtermOrAClosedPipeMidwayLeavesNoPartialFile) {
    lumi::test::ScriptedServer server;
    server.respond = [](const std::string& request, int) {
        if (request.find("/done.jpg") != std::string::npos)
            return lumi::test::scriptedReply({"HTTP/1.0 200 OK\r\n\r\n\xFF\xD8\xFF whole"});
        return lumi::test::scriptedReply({"HTTP/1.0 200 OK\r\n\r\n\xFF\xD8\xFF partial"},
                                         lumi::test::ScriptedReply::Ending::StayOpen);
    };
    for (const bool pipeClosed : {false, true}) {
        SCOPED_TRACE(pipeClosed ? "closed pipe" : "SIGTERM");
        Target target;
        QDir().mkpath(target.pics);
        std::ofstream(target.ini.toStdString())
            << "[Options]\r\nSavePath=" << target.pics.toStdString() << "\r\n";
        std::ofstream((target.pics + QStringLiteral("/x.jpg")).toStdString()) << "the user's own";
        const QString x = QString::fromStdString(server.url("/x.jpg"));
        const size_t before = server.requests().size();
        QProcess p;
        if (pipeClosed)
            p.start(QStringLiteral("bash"),
                    {QStringLiteral("-c"), QStringLiteral("\"$@\" | true; exit ${PIPESTATUS[0]}"),
                     QStringLiteral("_"), QStringLiteral(LUMISIFT_CLI_PATH), QStringLiteral("download"),
                     QStringLiteral("--ini"), target.ini, x,
                     QString::fromStdString(server.url("/done.jpg"))});
        else
            p.start(QStringLiteral(LUMISIFT_CLI_PATH),
                    {QStringLiteral("download"), QStringLiteral("--ini"), target.ini, x});
        if (!pipeClosed) {
            ASSERT_TRUE(lumi::test::waitUntil([&] { return server.requests().size() > before; }, 20000));
            lumi::test::spinFor(200); // the body begins to arrive
            ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        }
        ASSERT_TRUE(lumi::test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 20000));
        EXPECT_EQ(p.exitCode(), pipeClosed ? 141 : 143);
        const QByteArray said = pipeClosed ? p.readAllStandardError() : p.readAllStandardOutput();
        EXPECT_TRUE(pipeClosed ? said.contains("Interrupted by signal 13")
                               : said == "failed\t" + x.toUtf8() + "\tInterrupted by signal 15\n")
            << said.toStdString();
        QStringList left = QDir(target.pics).entryList(QDir::Files | QDir::Hidden);
        left.removeAll(QStringLiteral("done.jpg"));
        EXPECT_EQ(left, QStringList{QStringLiteral("x.jpg")});
        EXPECT_EQ(readFile(target.pics + QStringLiteral("/x.jpg")), "the user's own");
    }
}

// With few descriptors a batch over 80 hosts ends by itself and never aborts: at 64 every
// picture is saved (idle kept connections give theirs back when a socket cannot be made), at
// 36 what fails says "Too many open files" in words.
TEST(CliDownload, FewDescriptorsFailInWordsAndNeverAbort) {
    const std::string jpeg = "\xFF\xD8\xFF" + std::string(3000, 'j');
    std::vector<std::unique_ptr<lumi::test::ScriptedServer>> places(80);
    for (auto& place : places) {
        place = std::make_unique<lumi::test::ScriptedServer>();
        place->respond = [&jpeg](const std::string&, int) {
            return lumi::test::scriptedReply(
                {"HTTP/1.1 200 OK\r\nContent-Length: 3003\r\n\r\n" + jpeg},
                lumi::test::ScriptedReply::Ending::KeepAlive);
        };
    }
    for (const int limit : {64, 36}) {
        Target target;
        target.settings("");
        QStringList args = {QStringLiteral("--nofile=%1").arg(limit), QStringLiteral(LUMISIFT_CLI_PATH),
                            QStringLiteral("download"), QStringLiteral("--ini"), target.ini};
        for (int i = 0; i < 240; ++i)
            args << QString::fromStdString(places[size_t(i) % 80]->url("/" + std::to_string(i) + ".jpg"));
        QProcess p;
        p.start(QStringLiteral("prlimit"), args);
        ASSERT_TRUE(lumi::test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 120000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << limit;
        EXPECT_LE(p.exitCode(), limit == 64 ? 0 : 1) << p.readAllStandardError().toStdString();
        for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
            EXPECT_TRUE(line.isEmpty() || line.startsWith("saved\t") ||
                        (limit < 64 && line.contains("Too many open files"))) << line.toStdString();
    }
}
