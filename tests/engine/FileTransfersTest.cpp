// GetFile and GetFileRequestDone against a scripted loopback server: which endings count as
// failed (and leave no file), full file systems and links in the save folder, the held-path
// and name rules, and the slideshow folder.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "base/Clock.h"
#include "base/ErrorReport.h"
#include "common/EventLoopWait.h"
#include "common/Peers.h"
#include "engine/FileTransfers.h"
#include "net/ScriptedServer.h"

using lumi::FileTransfers;
using lumi::TransferOutcome;
using lumi::test::httpResponse;
using lumi::test::ScriptedReply;
using lumi::test::scriptedReply;
using lumi::test::ScriptedServer;
using lumi::test::waitUntil;

namespace {

std::string readFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll().toStdString();
}

void writeFile(const std::string& path, const std::string& bytes) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

bool exists(const std::string& path) {
    return QFile::exists(QString::fromStdString(path));
}

struct TransferFixture : ::testing::Test {
    QTemporaryDir dir;
    std::string folder = dir.path().toStdString() + "/";
    std::string ini = folder + "lumisift.ini";
    ScriptedServer server;
    std::unique_ptr<FileTransfers> transfers;
    std::vector<TransferOutcome> outcomes;
    std::vector<std::string> reported;

    void SetUp() override {
        lumi::setErrorSink([this](const std::string& text) { reported.push_back(text); });
        transfers =
            std::make_unique<FileTransfers>(ini, nullptr, [this] { return folder + "slideshow/"; });
        const auto record = [this](const TransferOutcome& o) { outcomes.push_back(o); };
        transfers->OnSaveDone = record;
        transfers->OnViewDone = record;
        transfers->OnSlideDone = record;
    }
    void TearDown() override { lumi::setErrorSink({}); }

    // Names starting with "." in the folder: the temporaries of transfers.
    QStringList hiddenFiles() const {
        QStringList hidden;
        for (const QString& name : QDir(dir.path()).entryList(QDir::Hidden | QDir::Files | QDir::System))
            if (name.startsWith(QLatin1Char('.'))) hidden << name;
        return hidden;
    }

    bool waitForOutcomes(size_t n) {
        return waitUntil([&] { return outcomes.size() >= n; }, 10000);
    }
};

} // namespace

// Guards what counts as a saved picture: only a whole 200 answer with a picture's first
// bytes replaces the target; every other ending names its cause, leaves no temporary file
// and keeps the file the user already had.
TEST_F(TransferFixture, OnlyAWholePictureReplacesTheTargetAndEveryFailureSaysWhy) {
    const std::string jpeg("\xFF\xD8\xFF\xE0 404 inside \xFF\xD9");
    // Fits as a name, but not with the temporary's dot and ".part".
    const std::string longName = std::string(250, 'y') + ".jpg";
    const std::string webp("RIFF\x10\0\0\0WEBPVP8 ", 16);
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n";
    const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const auto ok = [&](std::vector<std::string> extra, const std::string& body) {
        return scriptedReply({httpResponse("HTTP/1.0 200 OK", std::move(extra), body)});
    };
    struct Case {
        const char* name;
        ScriptedReply answer;
        std::string reason; // empty: saved
        std::string saved;  // the file's bytes when saved
    };
    const std::vector<Case> cases = {
        {"ok.jpg", ok({"Content-Length: " + std::to_string(jpeg.size())}, jpeg), "", jpeg},
        {"nolength.gif", ok({}, "GIF89a..."), "", "GIF89a..."},
        {longName.c_str(), ok({}, "GIF87a"), "", "GIF87a"},
        {"webp.webp", ok({}, webp), "", webp},
        {"missing.jpg", scriptedReply({httpResponse("HTTP/1.0 404 Not Found", {}, "<html/>")}),
         "HTTP/1.0 404 Not Found", ""},
        {"html.jpg", ok({}, "<html>error page</html>"), "Not a picture", ""},
        {"typed.gif", ok({"Content-Type: image/gif"}, jpeg), "Not the picture announced (image/gif)",
         ""},
        {"typedhtml.jpg", ok({"Content-Type: text/html; charset=utf-8"}, jpeg), "Not a picture",
         ""},
        {"typed.jpg", ok({"Content-Type: Image/JPEG; q=1"}, jpeg), "", jpeg},
        {"nocontent.jpg", scriptedReply({httpResponse("HTTP/1.0 204 No Content", {}, "")}),
         "HTTP/1.0 204 No Content", ""},
        {"partial.jpg",
         scriptedReply({httpResponse("HTTP/1.1 206 Partial Content", {}, jpeg)}),
         "HTTP/1.1 206 Partial Content", ""},
        {"empty.jpg", ok({"Content-Length: 0"}, ""), "Empty body", ""},
        {"digits.jpg", scriptedReply({httpResponse("HTTP/1.1 2004 Weird", {}, jpeg)}),
         "HTTP/1.1 2004 Weird", ""},
        {"chunked.jpg", scriptedReply({chunkedHead + "3\r\n\xFF\xD8\xFF\r\n", "2;x=y\r\nab\r\n0\r\n\r\n"}),
         "", "\xFF\xD8\xFF" "ab"},
        {"badchunk.jpg", scriptedReply({chunkedHead + "3\r\n\xFF\xD8\xFFxx"}),
         "Broken chunked body: no line end after a chunk", ""},
        {"cutchunk.jpg", scriptedReply({chunkedHead + "9\r\n\xFF\xD8\xFF"}),
         "Broken chunked body: cut short", ""},
        {"reset.jpg",
         scriptedReply({head + "Content-Length: 5000\r\n\r\n" + jpeg}, ScriptedReply::Ending::Reset),
         "Document incomplete: " + std::to_string(jpeg.size()) + " of 5000 bytes received", ""},
        {"resetnolength.jpg", scriptedReply({head + "\r\n" + jpeg}, ScriptedReply::Ending::Reset),
         "Connection reset by peer (Error #10054)", ""},
        {"silent.jpg", scriptedReply({}, ScriptedReply::Ending::StayOpen),
         "Timed out: no data for 0.3 s", ""},
        {"stall.jpg", scriptedReply({head + "\r\n" + jpeg}, ScriptedReply::Ending::StayOpen),
         "Timed out: no data for 0.3 s", ""},
        {"announced.jpg", ok({"Content-Length: 7000"}, jpeg), "Larger than the size limit (6 kB)", ""},
        {"endless.jpg", scriptedReply({head + "\r\n" + jpeg + std::string(7000, 'x')},
                                      ScriptedReply::Ending::StayOpen),
         "Larger than the size limit (6 kB)", ""},
        {"readonly.jpg", ok({}, jpeg), "Not replaced: " + folder + "readonly.jpg is read-only", ""},
        {"login.jpg", scriptedReply({httpResponse("HTTP/1.0 407 Proxy Authentication Required", {}, "")}),
         "HTTP/1.0 407 Proxy Authentication Required: the proxy refused the login: check the "
         "proxy name and password in Options", ""},
    };
    writeFile(ini, "[Options]\r\nSmallerThanBool=1\r\nSmallerThan=6\r\n");
    server.respond = [&](const std::string& request, int) {
        for (const Case& c : cases)
            if (request.find(std::string("/") + c.name + " ") != std::string::npos) return c.answer;
        return scriptedReply({});
    };
    transfers->setIdleTimeout(std::chrono::milliseconds(300));
    for (const Case& c : cases) {
        writeFile(folder + c.name, "the user's own");
        if (c.reason.ends_with("read-only")) ::chmod((folder + c.name).c_str(), 0444);
        ASSERT_TRUE(
            transfers->GetFile(server.url(std::string("/") + c.name), folder + c.name, tkSave));
    }
    ASSERT_TRUE(waitForOutcomes(cases.size()));
    EXPECT_EQ(transfers->running(), 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TransferOutcome* o = nullptr;
        for (const auto& candidate : outcomes)
            if (candidate.name == c.name) o = &candidate;
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->reason, c.reason);
        EXPECT_EQ(o->failed, !c.reason.empty());
        EXPECT_EQ(readFile(folder + c.name), c.reason.empty() ? c.saved : "the user's own");
    }
    EXPECT_EQ(hiddenFiles(), QStringList()) << "no temporary file stays behind";
    EXPECT_TRUE(reported.empty());

    // A refused connection fails with the socket's own words.
    outcomes.clear();
    const std::string closedPort = std::to_string(lumi::test::freeLoopbackPort());
    ASSERT_TRUE(
        transfers->GetFile("http://127.0.0.1:" + closedPort + "/x.jpg", folder + "x.jpg", tkSave));
    ASSERT_TRUE(waitForOutcomes(1));
    EXPECT_TRUE(outcomes[0].failed);
    EXPECT_NE(outcomes[0].reason.find("Connection refused"), std::string::npos)
        << outcomes[0].reason;
    EXPECT_FALSE(exists(folder + "x.jpg"));
}

// Guards every write's result: a full file system fails the transfer at once, with the
// system's words, and keeps the user's file.
TEST_F(TransferFixture, AFullFileSystemFailsTheTransferWithTheSystemsWords) {
    std::string full = folder + "full/";
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(full)));
    std::string expected = "No space left on device";
    const bool mounted =
        ::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") == 0;
    rlimit before{};
    if (!mounted) {
        // Not root: a file size limit refuses the write in the same way.
        expected = "File too large";
        ::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &before);
        rlimit limit = before;
        limit.rlim_cur = 64 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    writeFile(full + "big.jpg", "the user's own");
    const std::string body = "\xFF\xD8\xFF" + std::string(256 * 1024, 'x');
    server.respond = [&](const std::string&, int) {
        return scriptedReply({httpResponse("HTTP/1.0 200 OK", {}, body)});
    };
    ASSERT_TRUE(transfers->GetFile(server.url("/big.jpg"), full + "big.jpg", tkSave));
    const bool ended = waitForOutcomes(1);
    if (mounted) {
        EXPECT_EQ(QDir(QString::fromStdString(full)).entryList(QDir::Hidden | QDir::Files),
                  QStringList{QStringLiteral("big.jpg")});
        EXPECT_EQ(readFile(full + "big.jpg"), "the user's own");
        ::umount(full.c_str());
    } else {
        ::setrlimit(RLIMIT_FSIZE, &before);
    }
    ASSERT_TRUE(ended);
    EXPECT_TRUE(outcomes[0].failed);
    EXPECT_EQ(outcomes[0].reason, expected);
}

// Guards the save folder against links: nothing is written through one, and a picture
// replaces the link itself.
TEST_F(TransferFixture, LinksInTheSaveFolderAreNeverWrittenThrough) {
    QTemporaryDir outside;
    const std::string victim = outside.path().toStdString() + "/victim";
    writeFile(victim, "outside");
    ASSERT_EQ(::symlink(victim.c_str(), (folder + "gone.jpg").c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), (folder + "pic.jpg").c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), (folder + ".trap.jpg.part").c_str()), 0);
    server.respond = [](const std::string& request, int) {
        if (request.find("/gone.jpg") != std::string::npos)
            return scriptedReply({httpResponse("HTTP/1.0 404 Not Found", {}, "<html/>")});
        return scriptedReply({httpResponse("HTTP/1.0 200 OK", {}, "\xFF\xD8\xFF new")});
    };
    for (const char* name : {"gone.jpg", "pic.jpg", "trap.jpg"})
        ASSERT_TRUE(transfers->GetFile(server.url(std::string("/") + name), folder + name, tkSave));
    ASSERT_TRUE(waitForOutcomes(3));
    EXPECT_EQ(readFile(victim), "outside");
    EXPECT_TRUE(QFileInfo(QString::fromStdString(folder + "gone.jpg")).isSymLink());
    EXPECT_FALSE(QFileInfo(QString::fromStdString(folder + "pic.jpg")).isSymLink());
    EXPECT_EQ(readFile(folder + "pic.jpg"), "\xFF\xD8\xFF new");
    EXPECT_EQ(readFile(folder + "trap.jpg"), "\xFF\xD8\xFF new");
    EXPECT_EQ(hiddenFiles(), QStringList{QStringLiteral(".trap.jpg.part")});
}

// Guards the held-path rule and the names that would write onto a folder.
TEST_F(TransferFixture, RefusedStartsReportGetFileAndWriteNothing) {
    server.respond = [](const std::string&, int) {
        return scriptedReply({httpResponse("HTTP/1.0 200 OK", {}, "GIF87a first")});
    };
    ASSERT_TRUE(transfers->GetFile(server.url("/a.jpg"), folder + "a.jpg", tkSave));
    EXPECT_TRUE(transfers->holds(folder + "./a.jpg"));

    struct Refused {
        std::string target;
        TransferKind kind;
    };
    const std::vector<Refused> refused = {
        {folder + "a.jpg", tkSave},
        {folder + "sub/../a.jpg", tkSave},
        {folder + "", tkSave},
        {folder + ".", tkSave},
        {folder + "..", tkSave},
        {"../escape.jpg", tkView},
        {"", tkSlide},
        {"..", tkView},
        {folder + "nofolder/b.jpg", tkSave},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.target);
        reported.clear();
        EXPECT_FALSE(transfers->GetFile(server.url("/b.jpg"), r.target, r.kind));
        EXPECT_EQ(reported, std::vector<std::string>{FileTransfers::GetFileErrorText});
    }
    EXPECT_EQ(transfers->running(), 1u);
    EXPECT_FALSE(exists(folder + "escape.jpg"));
    EXPECT_FALSE(exists(dir.path().toStdString() + "/../escape.jpg"));

    ASSERT_TRUE(waitForOutcomes(1));
    EXPECT_FALSE(outcomes[0].failed);
    EXPECT_EQ(readFile(folder + "a.jpg"), "GIF87a first");
    EXPECT_EQ(server.accepted(), 1) << "no refused start reached the network";
}

// Guards the speed floor on a driven clock: a trickle never idle for long still fails once
// less than 1 KB arrived in 60 s.
TEST_F(TransferFixture, ATrickleFailsAsTooSlow) {
    uint32_t now = 1000;
    lumi::setTickSource([&] { return now; });
    server.respond = [](const std::string&, int) {
        return scriptedReply({"HTTP/1.0 200 OK\r\n\r\nGIF89a"}, ScriptedReply::Ending::StayOpen);
    };
    ASSERT_TRUE(transfers->GetFile(server.url("/t.gif"), folder + "t.gif", tkSave));
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }, 10000));
    lumi::test::spinFor(100);
    now += 60000;
    const bool ended = waitForOutcomes(1);
    lumi::setTickSource({});
    ASSERT_TRUE(ended);
    EXPECT_EQ(outcomes[0].reason, lumi::SlowTransferText);
}

TEST_F(TransferFixture, ViewAndSlideFilesGoToTheSlideshowFolderMadeOnDemand) {
    server.respond = [](const std::string&, int) {
        return scriptedReply({httpResponse("HTTP/1.0 200 OK", {}, "BMpixels")});
    };
    // The agent hook names its own agent for v.jpg only; s.jpg keeps the client's.
    transfers->AgentFor = [](const std::string& address) {
        return address.ends_with("/v.jpg") ? std::string("Archive-Agent/1") : std::string();
    };
    ASSERT_FALSE(QDir(QString::fromStdString(folder + "slideshow")).exists());
    ASSERT_TRUE(transfers->GetFile(server.url("/p/v.jpg"), "v.jpg", tkView));
    ASSERT_TRUE(transfers->GetFile(server.url("/p/s.jpg"), "s.jpg", tkSlide));
    ASSERT_TRUE(waitForOutcomes(2));
    for (const TransferOutcome& o : outcomes) {
        EXPECT_FALSE(o.failed);
        EXPECT_EQ(o.path, folder + "slideshow/" + o.name);
        EXPECT_EQ(o.kind, o.name == "v.jpg" ? tkView : tkSlide);
        EXPECT_EQ(readFile(o.path), "BMpixels");
    }
    ASSERT_EQ(server.requests().size(), 2u);
    for (const std::string& request : server.requests()) {
        const bool view = request.find("GET /p/v.jpg ") != std::string::npos;
        EXPECT_EQ(request.find("User-Agent: Archive-Agent/1\r\n") != std::string::npos, view);
        EXPECT_EQ(request.find("User-Agent: Mozilla/3.0 (compatible)\r\n") != std::string::npos, !view);
    }
}
