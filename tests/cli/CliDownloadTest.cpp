// lumisift-cli download against real peers: a batch from nginx, the same batch through
// tinyproxy with "UseProxy" on, and the exit codes and lines of failures and bad input.
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "common/Peers.h"

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
        {"a.jpg", std::string("\xFF\xD8 404 \xFF\xD9", 9)},
        {"b.jpg", std::string(300000, 'b')},
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
        "failed\t" + folderItself + "\terror code : #0053 (GetFile)",
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
    EXPECT_EQ(noFolder.err, "You must specify a directory first!\n");
    EXPECT_TRUE(noFolder.lines.empty());
}
