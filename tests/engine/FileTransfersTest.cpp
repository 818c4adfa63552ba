// GetFile and GetFileRequestDone against a scripted loopback server: which endings count as
// failed (and leave no file), the held-path and name rules, the slideshow folder, the proxy
// read from the settings, and cancelling a running transfer.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

    bool waitForOutcomes(size_t n) {
        return waitUntil([&] { return outcomes.size() >= n; }, 10000);
    }
};

} // namespace

// Guards the failure rule: by status and error, never by the bytes of the body.
TEST_F(TransferFixture, FailureRuleGoesByStatusAndErrorAndLeavesNoFileOfAFailure) {
    const std::string jpegWith404("\xFF\xD8\xFF\xE0 404 inside \xFF\xD9");
    struct Case {
        const char* name;
        ScriptedReply answer;
        bool failed;
        std::string reason;
    };
    std::vector<Case> cases = {
        {"ok.jpg",
         scriptedReply({httpResponse("HTTP/1.0 200 OK",
                                     {"Content-Length: " + std::to_string(jpegWith404.size())},
                                     jpegWith404)}),
         false, ""},
        {"nolength.jpg", scriptedReply({httpResponse("HTTP/1.0 200 OK", {}, "abc")}), false, ""},
        {"missing.jpg",
         scriptedReply({httpResponse("HTTP/1.0 404 Not Found", {}, "<html>404 not here</html>")}),
         true, "HTTP/1.0 404 Not Found"},
        {"broken.jpg",
         scriptedReply(
             {httpResponse("HTTP/1.1 500 Internal Server Error", {}, "<html>oops</html>")}),
         true, "HTTP/1.1 500 Internal Server Error"},
        {"reset.jpg",
         scriptedReply(
             {httpResponse("HTTP/1.0 200 OK", {"Content-Length: 5000"}, std::string(700, 'x'))},
             ScriptedReply::Ending::Reset),
         true, ""},
        {"silent.jpg", scriptedReply({}), true, "(no status line)"},
    };
    server.respond = [&](const std::string& request, int) {
        for (const Case& c : cases)
            if (request.find(std::string("/") + c.name + " ") != std::string::npos) return c.answer;
        return scriptedReply({});
    };
    for (const Case& c : cases)
        ASSERT_TRUE(
            transfers->GetFile(server.url(std::string("/") + c.name), folder + c.name, tkSave));
    ASSERT_TRUE(waitForOutcomes(cases.size()));
    EXPECT_EQ(transfers->running(), 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TransferOutcome* o = nullptr;
        for (const auto& candidate : outcomes)
            if (candidate.name == c.name) o = &candidate;
        ASSERT_NE(o, nullptr);
        EXPECT_EQ(o->failed, c.failed);
        EXPECT_EQ(o->path, folder + c.name);
        EXPECT_EQ(exists(o->path), !c.failed) << "a failed transfer leaves no file";
        if (!c.reason.empty()) {
            EXPECT_EQ(o->reason, c.reason);
        }
        if (c.failed) {
            EXPECT_FALSE(o->reason.empty());
        }
    }
    EXPECT_EQ(readFile(folder + "ok.jpg"), jpegWith404);
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

// Guards the held-path rule and the names that would write onto a folder.
TEST_F(TransferFixture, RefusedStartsReportGetFileAndWriteNothing) {
    server.respond = [](const std::string&, int) {
        return scriptedReply({httpResponse("HTTP/1.0 200 OK", {}, "first")});
    };
    ASSERT_TRUE(transfers->GetFile(server.url("/a.jpg"), folder + "a.jpg", tkSave));
    EXPECT_TRUE(exists(folder + "a.jpg")) << "the file exists before any byte arrives";
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
    EXPECT_EQ(readFile(folder + "a.jpg"), "first");
    EXPECT_EQ(server.accepted(), 1) << "no refused start reached the network";
}

TEST_F(TransferFixture, ViewAndSlideFilesGoToTheSlideshowFolderMadeOnDemand) {
    server.respond = [](const std::string&, int) {
        return scriptedReply({httpResponse("HTTP/1.0 200 OK", {}, "pixels")});
    };
    ASSERT_FALSE(QDir(QString::fromStdString(folder + "slideshow")).exists());
    ASSERT_TRUE(transfers->GetFile(server.url("/p/v.jpg"), "v.jpg", tkView));
    ASSERT_TRUE(transfers->GetFile(server.url("/p/s.jpg"), "s.jpg", tkSlide));
    ASSERT_TRUE(waitForOutcomes(2));
    for (const TransferOutcome& o : outcomes) {
        EXPECT_FALSE(o.failed);
        EXPECT_EQ(o.path, folder + "slideshow/" + o.name);
        EXPECT_EQ(o.kind, o.name == "v.jpg" ? tkView : tkSlide);
        EXPECT_EQ(readFile(o.path), "pixels");
    }
}
