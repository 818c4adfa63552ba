// lumisift-cli download against real peers: a batch from nginx, the same batch through
// tinyproxy with "UseProxy" on, proxy login, the exit codes and lines of failures and bad
// input, and a stop by SIGTERM.
#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
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
    const CliRun tooLong = runDownload({QStringLiteral("--ini"), target.ini, QStringLiteral("--from"), rows});
    EXPECT_EQ(tooLong.exitCode, 2);
    EXPECT_EQ(tooLong.err, "lumisift-cli download: " + rows.toStdString() +
                               ": line 2 is longer than 64 KB\n");
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

namespace {

// Every picture a run reported saved, "saved" lines of all runs: path -> URL.
void collectSaved(QProcess& run, std::map<std::string, std::string>& saved, int& lines) {
    for (const QByteArray& line : run.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 3 || fields[0] != "saved") continue;
        ++lines;
        saved[fields[2].toStdString()] = fields[1].toStdString();
    }
}

bool finish(std::vector<std::unique_ptr<QProcess>>& runs) {
    return lumi::test::waitUntil(
        [&] {
            return std::all_of(runs.begin(), runs.end(),
                               [](const auto& r) { return r->state() == QProcess::NotRunning; });
        },
        60000);
}

lumi::test::ScriptedReply pictureOf(const std::string& request) {
    const std::string path = request.substr(4, request.find(' ', 4) - 4);
    if (path.find("stall") != std::string::npos)
        return lumi::test::scriptedReply({"HTTP/1.0 200 OK\r\n\r\n\xFF\xD8\xFF"},
                                         lumi::test::ScriptedReply::Ending::StayOpen);
    return lumi::test::scriptedReply({"HTTP/1.0 200 OK\r\n\r\n\xFF\xD8\xFF" + path});
}

} // namespace

// Guards plain names with several runs at once: runs that began before another run's
// pictures appeared never replace them, so every picture reported saved is there.
TEST(CliDownload, PlainNamesOfSeveralRunsAtOnceReplaceNoPictureOfAnother) {
    lumi::test::ScriptedServer server;
    server.respond = [](const std::string& request, int) { return pictureOf(request); };
    Target target;
    std::ofstream(target.ini.toStdString()) << "[Options]\nSavePath=" << target.pics.toStdString() << "\n";
    QStringList urls;
    std::string rows;
    for (int i = 0; i < 6; ++i) {
        urls << QString::fromStdString(server.url("/p" + std::to_string(i) + ".jpg"));
        rows += "{\"url\": \"" + urls.back().toStdString() + "\"}\n";
    }
    std::vector<std::unique_ptr<QProcess>> runs;
    // Two runs begin and wait for their rows while a third saves the same names.
    for (int i = 0; i < 3; ++i) {
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->start(QStringLiteral(LUMISIFT_CLI_PATH),
                           QStringList{QStringLiteral("download"), QStringLiteral("--ini"), target.ini} +
                               (i < 2 ? QStringList{QStringLiteral("--from"), QStringLiteral("-")} : urls));
        if (i == 1) lumi::test::spinFor(1000); // both waiting runs are past their start
    }
    ASSERT_TRUE(lumi::test::waitUntil([&] { return runs[2]->state() == QProcess::NotRunning; }, 60000));
    for (int i = 0; i < 2; ++i) {
        runs[i]->write(rows.c_str());
        runs[i]->closeWriteChannel();
    }
    ASSERT_TRUE(finish(runs));
    std::map<std::string, std::string> saved;
    int lines = 0;
    for (auto& run : runs) {
        EXPECT_EQ(run->exitCode(), 0) << run->readAllStandardError().toStdString();
        collectSaved(*run, saved, lines);
    }
    EXPECT_EQ(lines, 18);
    EXPECT_EQ(saved.size(), 18u);
    EXPECT_EQ(QDir(target.pics).entryList(QDir::Files).size(), 18);
    for (const auto& [path, url] : saved)
        EXPECT_EQ(readFile(QString::fromStdString(path)), "\xFF\xD8\xFF" + url.substr(url.rfind('/')));
}

// Guards CREDITS.txt as a journal: runs at once into one folder and a run stopped by SIGTERM
// lose no line; each saved picture has exactly one.
TEST(CliDownload, CreditsOfRunsAtOnceAndOfAStoppedRunAreAllKept) {
    lumi::test::ScriptedServer server;
    server.respond = [](const std::string& request, int) { return pictureOf(request); };
    Target target;
    std::ofstream(target.ini.toStdString())
        << "[Options]\nSavePath=" << target.pics.toStdString() << "\nNumberedList=1\n";
    std::vector<std::unique_ptr<QProcess>> runs;
    for (int r = 0; r < 4; ++r) {
        const QString from = target.dir.filePath(QStringLiteral("rows%1.jsonl").arg(r));
        std::ofstream rows(from.toStdString());
        for (int i = 0; i < 5; ++i)
            rows << "{\"url\": \"" << server.url("/r" + std::to_string(r) + "p" + std::to_string(i) + ".jpg")
                 << "\", \"licence\": \"CC BY 4.0\", \"creator\": \"Run " << r << "\"}\n";
        if (r == 3) rows << "{\"url\": \"" << server.url("/stall.jpg") << "\", \"licence\": \"CC0\"}\n";
        rows.close();
        runs.push_back(std::make_unique<QProcess>());
        runs.back()->start(QStringLiteral(LUMISIFT_CLI_PATH),
                           {QStringLiteral("download"), QStringLiteral("--ini"), target.ini,
                            QStringLiteral("--phrase"), QStringLiteral("cats"), QStringLiteral("--from"), from});
    }
    // The stopped run has saved all but the stalled picture.
    ASSERT_TRUE(lumi::test::waitUntil(
        [&] { return QDir(target.pics).entryList({QStringLiteral("*.jpg")}, QDir::Files).size() == 20; },
        60000));
    ::kill(static_cast<pid_t>(runs[3]->processId()), SIGTERM);
    ASSERT_TRUE(finish(runs));
    EXPECT_EQ(runs[3]->exitCode(), 143);
    std::map<std::string, std::string> saved;
    int lines = 0;
    for (auto& run : runs)
        collectSaved(*run, saved, lines);
    ASSERT_EQ(saved.size(), 20u);
    std::multiset<std::string> credited;
    for (const QByteArray& line : QByteArray::fromStdString(readFile(target.pics + QStringLiteral("/CREDITS.txt"))).split('\n'))
        if (!line.isEmpty()) credited.insert(line.left(line.indexOf(':')).toStdString());
    std::multiset<std::string> names;
    for (const auto& [path, url] : saved)
        names.insert(path.substr(path.rfind('/') + 1));
    EXPECT_EQ(credited, names);
}

namespace {

// A FAT or exFAT image mounted through its FUSE driver for the length of a test.
struct MountedImage {
    QTemporaryDir dir;
    QString image = dir.filePath(QStringLiteral("disk.img"));
    QString root = dir.filePath(QStringLiteral("mnt"));
    QString loop;
    std::string skipReason;

    static bool run(const QString& program, const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return false;
        if (out) *out = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
        return true;
    }
    explicit MountedImage(bool exfat) {
        const QString mkfs = QString::fromLatin1(exfat ? "mkfs.exfat" : "mkfs.vfat");
        const QString driver = QString::fromLatin1(exfat ? "mount.exfat-fuse" : "fusefat");
        if (::geteuid() != 0) skipReason = "mounting needs root";
        else if (!QFileInfo::exists(QStringLiteral("/dev/fuse"))) skipReason = "no /dev/fuse";
        else if (QStandardPaths::findExecutable(mkfs).isEmpty() ||
                 QStandardPaths::findExecutable(driver).isEmpty())
            skipReason = (mkfs + QStringLiteral(" or ") + driver + QStringLiteral(" missing")).toStdString();
        if (!skipReason.empty()) return;
        QDir().mkpath(root);
        QFile blank(image);
        blank.open(QIODevice::WriteOnly);
        blank.resize(16 << 20);
        blank.close();
        // exfat-fuse wants a block device: the image goes onto a loop device first.
        const bool mounted =
            run(mkfs, {image}) &&
            (exfat ? run(QStringLiteral("losetup"), {QStringLiteral("-f"), QStringLiteral("--show"), image}, &loop) &&
                         run(driver, {loop, root})
                   : run(driver, {QStringLiteral("-o"), QStringLiteral("rw+"), image, root}));
        if (!mounted) skipReason = "the image could not be made or mounted";
    }
    ~MountedImage() {
        run(QStringLiteral("umount"), {root});
        if (!loop.isEmpty()) run(QStringLiteral("losetup"), {QStringLiteral("-d"), loop});
    }
};

} // namespace

// Guards saving onto a real FAT or exFAT disk: names are claimed without the Linux extras,
// names differing only by case are kept apart, refused names are made to fit and said so.
TEST(CliDownload, ABatchOntoFatAndExfatKeepsEveryPicture) {
    lumi::test::ScriptedServer server;
    server.respond = [](const std::string& request, int) { return pictureOf(request); };
    for (const bool exfat : {false, true}) {
        SCOPED_TRACE(exfat ? "exFAT" : "FAT");
        MountedImage disk(exfat);
        if (!disk.skipReason.empty()) {
            std::printf("[ SKIPPED  ] %s: %s\n", exfat ? "exFAT" : "FAT", disk.skipReason.c_str());
            continue;
        }
        std::ofstream(disk.root.toStdString() + "/Cat.jpg") << "the user's";
        Target target;
        std::ofstream(target.ini.toStdString())
            << "[Options]\nSavePath=" << disk.root.toStdString() << "\nWriteCredits=1\n";
        QStringList args{QStringLiteral("--ini"), target.ini};
        for (const char* name : {"/x/Cat.jpg", "/cat.jpg", "/CAT.JPG", "/a%3Ab.jpg", "/CON.jpg"})
            args << QString::fromStdString(server.url(name));
        const CliRun plain = runDownload(args);
        EXPECT_EQ(plain.exitCode, 0) << plain.err;
        EXPECT_EQ(plain.lines.size(), 5u);
        EXPECT_NE(plain.err.find("2 names were changed to suit the file system"), std::string::npos)
            << plain.err;
        QStringList files = QDir(disk.root).entryList(QDir::Files | QDir::Hidden);
        files.sort();
        EXPECT_EQ(files, QStringList({QStringLiteral("CAT (3).JPG"), QStringLiteral("CON_.jpg"),
                                      QStringLiteral("Cat.jpg"), QStringLiteral("a_b.jpg"),
                                      QStringLiteral("cat (2).jpg")}));
        EXPECT_EQ(readFile(disk.root + QStringLiteral("/cat (2).jpg")), "\xFF\xD8\xFF/cat.jpg");
        // Numbered into a sub-folder named after a phrase with a colon.
        std::ofstream(target.ini.toStdString(), std::ios::app) << "NumberedList=1\nSubDir=1\n";
        const CliRun numbered =
            runDownload(QStringList{QStringLiteral("--phrase"), QStringLiteral("red: cars")} + args);
        EXPECT_EQ(numbered.exitCode, 0) << numbered.err;
        EXPECT_EQ(QDir(disk.root + QStringLiteral("/red_ cars")).entryList(QDir::Files).size(), 5);
    }
}
