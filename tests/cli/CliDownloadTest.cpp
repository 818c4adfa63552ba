// lumisift-cli download against real peers: a batch from nginx, the same batch through
// tinyproxy with "UseProxy" on, proxy login, the exit codes and lines of failures and bad
// input, and a stop by SIGTERM.
#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <csignal>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
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
    // The event loop runs meanwhile: a server of this process must answer.
    if (!lumi::test::waitUntil([&] { return p.state() == QProcess::NotRunning; }, 60000)) return r;
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
    const QString rows = target.dir.filePath(QStringLiteral("rows.jsonl"));
    std::ofstream(rows.toStdString()) << "{\"url\": \"http://h/a.jpg\"}\n{\"url\": \"http://h/"
                                      << std::string(70000, 'a') << "\"}\n";
    const CliRun tooLong =
        runDownload({QStringLiteral("--ini"), target.ini, QStringLiteral("--from"), rows});
    EXPECT_EQ(tooLong.exitCode, 2);
    EXPECT_EQ(tooLong.err,
              "lumisift-cli download: " + rows.toStdString() + ": line 2 is longer than 64 KB\n");
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

namespace {

lumi::test::ScriptedReply pictureOf(const std::string& request, int) {
    const std::string path = request.substr(4, request.find(' ', 4) - 4);
    return lumi::test::scriptedReply({"HTTP/1.0 200 OK\r\n\r\n\xFF\xD8\xFF" + path},
                                     path == "/stall.jpg"
                                         ? lumi::test::ScriptedReply::Ending::StayOpen
                                         : lumi::test::ScriptedReply::Ending::Close);
}

} // namespace

// Guards runs at once into one folder with plain names, one of them stopped by SIGTERM:
// runs that began before another's pictures appeared never replace them, and CREDITS.txt, a
// journal, keeps exactly one line for every picture any run reported saved.
TEST(CliDownload, RunsAtOnceKeepEveryPictureAndItsCredit) {
    lumi::test::ScriptedServer server;
    server.respond = pictureOf;
    Target target;
    std::ofstream(target.ini.toStdString()) << "[Options]\nSavePath=" << target.pics.toStdString();
    std::string rows;
    for (const char* name : {"/a.jpg", "/b.jpg", "/c.jpg", "/d.jpg", "/stall.jpg"})
        rows += "{\"url\": \"" + server.url(name) + "\", \"licence\": \"CC0\"}\n";
    const std::string unstalled = rows.substr(0, rows.rfind('{'));
    std::ofstream(target.dir.filePath(QStringLiteral("rows")).toStdString()) << unstalled;
    // Runs 0 and 1 begin and wait in their read of the rows while run 2 saves the same names.
    QProcess runs[3];
    const auto reading = [&](QProcess& run) {
        QFile call(QStringLiteral("/proc/%1/syscall").arg(run.processId()));
        return call.open(QIODevice::ReadOnly) && call.readAll().startsWith("0 0x0 ");
    };
    for (int i : {0, 1, 2}) {
        if (i == 2)
            lumi::test::waitUntil([&] { return reading(runs[0]) && reading(runs[1]); }, 9000);
        runs[i].start(QStringLiteral(LUMISIFT_CLI_PATH),
                      {QStringLiteral("download"), QStringLiteral("--ini"), target.ini,
                       QStringLiteral("--from"),
                       i == 2 ? target.dir.filePath(QStringLiteral("rows")) : QStringLiteral("-")});
    }
    const auto jpegs = [&] {
        return QDir(target.pics).entryList({QStringLiteral("*.jpg")}).size();
    };
    ASSERT_TRUE(lumi::test::waitUntil([&] { return jpegs() == 4; }, 60000));
    for (int i : {0, 1}) {
        runs[i].write(i == 1 ? rows.c_str() : unstalled.c_str());
        runs[i].closeWriteChannel();
    }
    // Run 1 is stopped once all but its stalled picture are saved.
    ASSERT_TRUE(lumi::test::waitUntil([&] { return jpegs() == 12; }, 60000));
    ::kill(static_cast<pid_t>(runs[1].processId()), SIGTERM);
    std::multiset<std::string> saved, credited;
    for (QProcess& run : runs) {
        ASSERT_TRUE(
            lumi::test::waitUntil([&] { return run.state() == QProcess::NotRunning; }, 60000));
        for (const QByteArray& line : run.readAllStandardOutput().split('\n'))
            if (line.startsWith("saved\t"))
                saved.insert(line.mid(line.lastIndexOf('/') + 1).toStdString());
    }
    for (const QByteArray& line :
         QByteArray::fromStdString(readFile(target.pics + QStringLiteral("/CREDITS.txt")))
             .split('\n'))
        if (!line.isEmpty()) credited.insert(line.left(line.indexOf(':')).toStdString());
    EXPECT_EQ(jpegs(), 12);
    EXPECT_EQ(credited, saved) << "every saved picture, and one line for each";
}

// Guards saving onto a real FAT disk (an image through its FUSE driver, fusefat): names
// are claimed without the Linux extras, names differing only by case are kept apart, refused
// names are made to fit and said so.
TEST(CliDownload, ABatchOntoAFatDiskKeepsEveryPicture) {
    Target target;
    const QString image = target.dir.filePath(QStringLiteral("disk")), root = target.pics;
    QDir().mkpath(root);
    QFile(image).open(QIODevice::WriteOnly);
    QFile::resize(image, 16 << 20);
    if (::geteuid() != 0 || QProcess::execute(QStringLiteral("mkfs.vfat"), {image}) != 0 ||
        QProcess::execute(QStringLiteral("fusefat"),
                          {QStringLiteral("-o"), QStringLiteral("rw+"), image, root}) != 0)
        GTEST_SKIP() << "mounting a FAT image needs root, mkfs.vfat and fusefat";
    const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {root}); });
    lumi::test::ScriptedServer server;
    server.respond = pictureOf;
    std::ofstream(root.toStdString() + "/Cat.jpg") << "the user's";
    std::ofstream(target.ini.toStdString()) << "[Options]\nSavePath=" << root.toStdString() << "\n";
    QStringList args{QStringLiteral("--ini"), target.ini};
    for (const char* name : {"/x/Cat.jpg", "/cat.jpg", "/CAT.JPG", "/a%3Ab.jpg", "/CON.jpg"})
        args << QString::fromStdString(server.url(name));
    const CliRun plain = runDownload(args);
    EXPECT_NE(plain.err.find("2 names were changed to suit the file system"), std::string::npos);
    EXPECT_EQ(QDir(root).entryList(QDir::Files, QDir::Name).join(QLatin1Char('|')).toStdString(),
              "CAT (3).JPG|CON_.jpg|Cat.jpg|a_b.jpg|cat (2).jpg");
    EXPECT_EQ(readFile(root + QStringLiteral("/cat (2).jpg")), "\xFF\xD8\xFF/cat.jpg");
    std::ofstream(target.ini.toStdString(), std::ios::app) << "NumberedList=1\nSubDir=1\n";
    const CliRun numbered =
        runDownload(QStringList{QStringLiteral("--phrase"), QStringLiteral("red: cars")} + args);
    EXPECT_EQ(plain.exitCode + numbered.exitCode, 0) << plain.err << numbered.err;
    EXPECT_EQ(QDir(root + QStringLiteral("/red_ cars")).entryList(QDir::Files).size(), 5);
}
