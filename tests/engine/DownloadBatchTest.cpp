// The Download command's rules without a window: folder and names decided for the whole
// batch, and the bounded runner against a scripted loopback server.
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "base/ErrorReport.h"
#include "common/EventLoopWait.h"
#include "engine/DownloadBatch.h"
#include "net/ConnectionPool.h"
#include "net/ScriptedServer.h"

using lumi::BatchItem;
using lumi::DownloadBatch;
using lumi::FileTransfers;
using lumi::SaveOptions;
using lumi::test::httpResponse;
using lumi::test::ScriptedReply;
using lumi::test::ScriptedServer;
using lumi::test::waitUntil;
using Strings = std::vector<std::string>;

namespace {

struct Folder {
    QTemporaryDir dir;
    std::string path = dir.path().toStdString();
    void touch(const std::string& relative) const {
        QFile file(QString::fromStdString(path + "/" + relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    bool exists(const std::string& relative) const {
        return QFile::exists(QString::fromStdString(path + "/" + relative));
    }
};

std::string repeated(const std::string& piece, int n) {
    std::string text;
    while (n-- > 0)
        text += piece;
    return text;
}

Strings namesOf(const lumi::SavePlan& plan) {
    Strings names;
    for (const BatchItem& item : plan.items)
        names.push_back(item.path.substr(item.path.rfind('/') + 1));
    return names;
}

} // namespace

TEST(SmartSave, FolderAndNamesAreDecidedForTheWholeBatch) {
    struct Case {
        const char* what;
        Strings present; // files already in the target folder
        bool subDir, numbered;
        std::string phrase;
        Strings addresses;
        std::string folder; // relative to SavePath
        Strings names;
    };
    const std::vector<Case> cases = {
        {"new sub-folder, counted per extension", {}, true, true, "cats",
         {"http://h/a.jpg", "http://h/x/b.jpg", "http://h/c.gif"}, "/cats",
         {"cats_1.jpg", "cats_2.jpg", "cats_1.gif"}},
        {"taken numbers skipped", {"cats/cats_1.jpg"}, true, true, "cats",
         {"http://h/a.jpg", "http://h/b.jpg"}, "/cats", {"cats_2.jpg", "cats_3.jpg"}},
        {"gaps filled first", {"cats_1.jpg", "cats_3.jpg"}, false, true, "cats",
         {"http://h/a.jpg", "http://h/b.jpg"}, "", {"cats_2.jpg", "cats_4.jpg"}},
        {"extension from the path: 1 to 5 letters or digits after the last dot", {}, false, true,
         "my set",
         {"http://h/photo.jpeg", "http://h/q.jpg?x=1&y=2", "http://h/noext", "http://h/a.JPG#top",
          "http://h/a.toolong", "http://h/b.jp-g", "http://h/"},
         "",
         {"my set_1.jpeg", "my set_1.jpg", "my set_1", "my set_1.JPG", "my set_2", "my set_3",
          "my set_4"}},
        {"plain: the path's last segment decoded when that is a clean UTF-8 name",
         {"a.jpg"}, false, false, "x",
         {"http://h/caf%C3%A9.jpg?q=1", "http://h/a%2Fb.jpg", "http://h/%FF.jpg", "http://h/1/a.jpg",
          "http://h/2/a.jpg", "http://h/3/a.jpg", "http://h/n", "http://h/n"},
         "",
         {"caf\xC3\xA9.jpg", "a%2Fb.jpg", "%FF.jpg", "a.jpg", "a (2).jpg", "a (3).jpg", "n",
          "n (2)"}},
        {"hostile names: temporary-like, control characters, not UTF-8, too long", {}, false,
         false, "x",
         {"http://h/.cat.gif.part", "http://h/a%0Ab%09.jpg", "http://h/\xFF\x41.jpg",
          "http://h/" + std::string(300, 'n') + ".jpg",
          "http://h/" + repeated("\xC3\xA9", 200) + ".jpg"},
         "",
         {"%2Ecat.gif.part", "a%0Ab%09.jpg", "%FFA.jpg", std::string(251, 'n') + ".jpg",
          repeated("\xC3\xA9", 125) + ".jpg"}},
        {"the phrase loses its blanks and leading dots", {}, true, true, "  ..cats ",
         {"http://h/a.jpg"}, "/cats", {"cats_1.jpg"}},
        {"a line break or a direction control of the phrase becomes a blank", {}, true, true,
         "red\ncars\xE2\x80\xAE", {"http://h/a.jpg"}, "/red cars", {"red cars_1.jpg"}},
        {"misleading characters stay escaped: direction controls, C1, Unicode line ends", {},
         false, false, "x",
         {"http://h/x%E2%80%AEgpj.sh", "http://h/a%C2%85b%C2%9B.jpg", "http://h/l%E2%80%A8.jpg",
          "http://h/i%E2%81%A6.jpg"},
         "",
         {"x%E2%80%AEgpj.sh", "a%C2%85b%C2%9B.jpg", "l%E2%80%A8.jpg", "i%E2%81%A6.jpg"}},
        {"sub-folder without a phrase is the folder itself", {}, true, false, "",
         {"http://h/a.jpg"}, "", {"a.jpg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder;
        QDir().mkpath(QString::fromStdString(folder.path + "/cats"));
        for (const std::string& f : c.present)
            folder.touch(f);
        SaveOptions options{folder.path, c.subDir, c.numbered};
        const auto plan = lumi::planBatch(c.addresses, options, c.phrase);
        EXPECT_FALSE(plan.missingSaveFolder());
        EXPECT_EQ(plan.writeProblem, "");
        EXPECT_EQ(plan.folder, folder.path + c.folder);
        EXPECT_TRUE(QDir(QString::fromStdString(plan.folder)).exists());
        EXPECT_EQ(namesOf(plan), c.names);
        for (size_t i = 0; i < plan.items.size(); ++i)
            EXPECT_EQ(plan.items[i].address, c.addresses[i]);
    }
    Folder folder;
    ASSERT_EQ(::chmod(folder.path.c_str(), 0500), 0);
    const auto plan = lumi::planBatch({"http://h/a.jpg"}, SaveOptions{folder.path}, "");
    ::chmod(folder.path.c_str(), 0700);
    if (::geteuid() != 0) {
        EXPECT_EQ(plan.writeProblem, "Cannot write to " + folder.path + ": Permission denied");
    }
}

// Guards save paths as users write them: home and relative paths, a linked folder followed.
TEST(SmartSave, SavePathsAreReadAsAShellReadsThem) {
    for (const auto& [written, meant] :
         std::vector<std::pair<std::string, std::string>>{{"~", "/h"},
                                                          {"~/p", "/h/p"},
                                                          {"$HOME/p", "/h/p"},
                                                          {"${HOME}", "/h"},
                                                          {"~x/p", "/etc/~x/p"},
                                                          {"p", "/etc/p"},
                                                          {"/srv/p", "/srv/p"},
                                                          {"", ""}})
        EXPECT_EQ(lumi::expandSavePath(written, "/h", "/etc"), meant) << written;
    Folder folder;
    QDir().mkpath(QString::fromStdString(folder.path + "/real"));
    ASSERT_EQ(::symlink("real", (folder.path + "/link").c_str()), 0);
    ASSERT_EQ(::symlink("loop", (folder.path + "/loop").c_str()), 0);
    EXPECT_EQ(lumi::planBatch({"http://h/a.jpg"}, SaveOptions{folder.path + "/link"}, "").folder,
              folder.path + "/real");
    EXPECT_EQ(
        lumi::planBatch({"http://h/a.jpg"}, SaveOptions{folder.path + "/loop"}, "").writeProblem,
        "Cannot write to " + folder.path + "/loop: Too many levels of symbolic links");
}

namespace {

struct BatchFixture : ::testing::Test {
    Folder folder;
    ScriptedServer server;
    FileTransfers transfers{folder.path + "/none.ini"};
    Strings reported;

    void SetUp() override {
        lumi::setErrorSink([this](const std::string& text) { reported.push_back(text); });
    }
    void TearDown() override { lumi::setErrorSink({}); }

    std::vector<BatchItem> plan(const Strings& paths, bool numbered = false) {
        Strings addresses;
        for (const std::string& p : paths)
            addresses.push_back(server.url(p));
        return lumi::planBatch(addresses, SaveOptions{folder.path, false, numbered}, "cats").items;
    }
};

ScriptedReply answer(const std::string& statusLine, const std::string& body) {
    return lumi::test::scriptedReply({httpResponse(statusLine, {}, body)});
}

} // namespace

// Guards the bound on running transfers: a large selection must not open every file at once.
TEST_F(BatchFixture, AtMostTheBoundRunsAndEachCompletionStartsTheNext) {
    server.respond = [](const std::string& request, int) {
        return answer("HTTP/1.0 200 OK", "GIF89a" + request.substr(4, request.find(' ', 4) - 4));
    };
    Strings paths;
    for (int i = 0; i < 12; ++i)
        paths.push_back("/p" + std::to_string(i) + ".jpg");
    DownloadBatch batch(transfers, plan(paths, true), 3);
    size_t mostRunning = 0;
    Strings doneOrder;
    batch.OnItemDone = [&](const BatchItem& item) {
        mostRunning = std::max(mostRunning, transfers.running());
        doneOrder.push_back(item.name);
        EXPECT_EQ(item.state, BatchItem::State::Saved) << item.reason;
    };
    batch.start();
    EXPECT_EQ(transfers.running(), 3u);
    EXPECT_EQ(batch.runningCount(), 3u);
    ASSERT_TRUE(waitUntil([&] { return batch.finished(); }, 20000));
    EXPECT_LE(mostRunning, 3u);
    EXPECT_EQ(doneOrder.size(), 12u);
    EXPECT_EQ(batch.failedCount(), 0u);
    // Names were decided up front: consecutive, whatever order the transfers ended in.
    for (int i = 0; i < 12; ++i) {
        QFile file(QString::fromStdString(folder.path + "/cats_" + std::to_string(i + 1) + ".jpg"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << i;
        EXPECT_EQ(file.readAll().toStdString(), "GIF89a/p" + std::to_string(i) + ".jpg");
    }
}

// A batch from one host runs over a few kept connections, whatever framing the answers use.
TEST_F(BatchFixture, PicturesOfOneHostShareTheirKeptConnections) {
    server.respond = [](const std::string& request, int index) {
        const std::string body = "GIF89a" + request.substr(4, request.find(' ', 4) - 4);
        char restSize[20];
        std::snprintf(restSize, sizeof restSize, "%zx", body.size() - 3);
        const std::string answer =
            index % 2 ? "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n" +
                            body.substr(0, 3) + "\r\n" + restSize + "\r\n" + body.substr(3) + "\r\n0\r\n\r\n"
                      : httpResponse("HTTP/1.1 200 OK",
                                     {"Content-Length: " + std::to_string(body.size())}, body);
        return lumi::test::scriptedReply({answer}, ScriptedReply::Ending::KeepAlive);
    };
    transfers.setConnectionPool(std::make_shared<lumi::ConnectionPool>());
    Strings paths;
    for (int i = 0; i < 12; ++i)
        paths.push_back("/p" + std::to_string(i) + ".jpg");
    DownloadBatch batch(transfers, plan(paths), 3);
    batch.start();
    ASSERT_TRUE(waitUntil([&] { return batch.finished(); }, 20000));
    EXPECT_EQ(batch.failedCount(), 0u);
    EXPECT_LE(server.accepted(), 3);
    for (const std::string& request : server.requests())
        EXPECT_NE(request.find(" HTTP/1.1\r\n"), std::string::npos);
    for (const std::string& path : paths) {
        QFile file(QString::fromStdString(folder.path + path));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path;
        EXPECT_EQ(file.readAll().toStdString(), "GIF89a" + path);
    }
}

// Guards the failure rule, the name rule and Abort within a batch.
TEST_F(BatchFixture, FailuresKeepNoFileAndAbortStopsRunningTransfers) {
    server.respond = [](const std::string& request, int) {
        if (request.find("/gone.jpg") != std::string::npos)
            return answer("HTTP/1.0 404 Not Found", "<html>not here</html>");
        if (request.find("/hang") != std::string::npos)
            return lumi::test::scriptedReply({"HTTP/1.0 200 OK\r\n\r\n", "GIF89a partial"},
                                             ScriptedReply::Ending::StayOpen);
        return answer("HTTP/1.0 200 OK", "GIF89a picture");
    };
    auto items = plan({"/ok.jpg", "/gone.jpg", "/dir/", "/hang1.jpg", "/hang2.jpg", "/later.jpg"});
    DownloadBatch batch(transfers, std::move(items), 3);
    std::vector<BatchItem> done;
    batch.OnItemDone = [&](const BatchItem& item) { done.push_back(item); };
    batch.start();
    // ok, gone and the refused "dir/" end; hang1 and hang2 never do; later ends.
    ASSERT_TRUE(
        waitUntil([&] { return done.size() == 4 && server.requests().size() == 5; }, 10000));
    lumi::test::spinFor(100); // the hanging bodies begin to arrive
    for (const BatchItem& item : done) {
        SCOPED_TRACE(item.address);
        if (item.name == "ok.jpg" || item.name == "later.jpg") {
            EXPECT_EQ(item.state, BatchItem::State::Saved);
        }
        if (item.name == "gone.jpg") {
            EXPECT_EQ(item.reason, "HTTP/1.0 404 Not Found");
        }
        if (item.name.empty()) {
            EXPECT_EQ(item.reason, "No file name in " + folder.path + "/");
        }
    }
    EXPECT_EQ(reported, Strings{FileTransfers::GetFileErrorText});
    EXPECT_EQ(batch.runningCount(), 2u);

    batch.abort();
    EXPECT_EQ(transfers.running(), 0u);
    QStringList left =
        QDir(QString::fromStdString(folder.path)).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList({QStringLiteral("later.jpg"), QStringLiteral("ok.jpg")}))
        << "finished files stay; failed and stopped ones leave nothing";
    lumi::test::spinFor(100);
    EXPECT_EQ(done.size(), 4u) << "no step follows a stopped transfer";
}

// Guards the claim of names: two batches planned alike into one folder at once keep every
// picture they report, and an earlier "cat (2).gif" is never replaced.
TEST_F(BatchFixture, TwoBatchesAtOnceIntoOneFolderKeepEveryPictureTheyReport) {
    server.respond = [](const std::string& request, int) {
        return answer("HTTP/1.0 200 OK", "GIF89a" + request.substr(4, request.find(' ', 4) - 4));
    };
    for (const bool numbered : {true, false}) {
        SCOPED_TRACE(numbered ? "numbered" : "plain");
        Folder shared;
        shared.touch("cat (2).gif");
        const auto planIn = [&](const std::string& web) {
            Strings addresses;
            for (const char* p : {"/cat.gif", "/x/cat.gif", "/y/cat.gif"})
                addresses.push_back(server.url(web + p));
            return lumi::planBatch(addresses, SaveOptions{shared.path, false, numbered}, "cats")
                .items;
        };
        FileTransfers other(shared.path + "/none.ini");
        DownloadBatch first(transfers, planIn("/a"), 2), second(other, planIn("/b"), 2);
        std::map<std::string, std::string> saved; // path -> the bytes served for it
        const auto record = [&](const BatchItem& item) {
            EXPECT_EQ(item.state, BatchItem::State::Saved) << item.reason;
            saved[item.path] = "GIF89a" + item.address.substr(item.address.find("/", 7));
        };
        first.OnItemDone = record;
        second.OnItemDone = record;
        first.start();
        second.start();
        ASSERT_TRUE(waitUntil([&] { return first.finished() && second.finished(); }, 20000));
        EXPECT_EQ(saved.size(), 6u);
        for (const auto& [path, bytes] : saved) {
            QFile file(QString::fromStdString(path));
            EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.readAll().toStdString() == bytes)
                << path;
        }
        EXPECT_TRUE(shared.exists("cat (2).gif"));
        EXPECT_EQ(QFile(QString::fromStdString(shared.path + "/cat (2).gif")).size(), 0);
    }
}
