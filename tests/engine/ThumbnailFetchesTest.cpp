// The grid's thumbnail fetches against a scripted loopback server: the sources in order
// (the embedded one asked with a Range line), bytes or parts not asked for refused, the size
// limit on the picture itself, two at a host, the deadline, and queued requests dropped when
// the view no longer wants them; the disk cache's bound and the files that are not its own.
#include <csignal>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/EventLoopWait.h"
#include "common/ExifSample.h"
#include "EngineTestSupport.h"
#include "engine/ThumbnailDiskCache.h"
#include "engine/ThumbnailFetches.h"
#include "net/ConnectionPool.h"
#include "net/ScriptedServer.h"

using lumi::ThumbnailFetched;
using lumi::ThumbnailFetches;
using lumi::test::httpResponse;
using lumi::test::scriptedReply;
using lumi::test::ScriptedReply;
using lumi::test::ScriptedServer;
using lumi::test::waitUntil;

namespace {

struct FetchesFixture : ::testing::Test {
    QTemporaryDir dir;
    std::string ini = dir.path().toStdString() + "/lumisift.ini";
    ScriptedServer server;
    std::vector<ThumbnailFetched> outcomes;

    std::unique_ptr<ThumbnailFetches> make(const std::string& settings) {
        std::ofstream(ini) << settings;
        auto fetches = std::make_unique<ThumbnailFetches>(ini);
        fetches->OnFetched = [this](const ThumbnailFetched& o) { outcomes.push_back(o); };
        return fetches;
    }
};

// The paths a server was asked for, in order; " ranged" marks a request for the first 64 kB.
std::vector<std::string> pathsOf(const ScriptedServer& server) {
    std::vector<std::string> paths;
    for (const std::string& request : server.requests())
        paths.push_back(request.substr(4, request.find(' ', 4) - 4) +
                        (request.find("\r\nRange: bytes=0-65535\r\n") != std::string::npos
                             ? " ranged"
                             : ""));
    return paths;
}

lumi::ThumbnailRecord recordOf(const std::string& address, QByteArray image) {
    return {std::move(image), {address}, -1, 0};
}

ScriptedReply answer(const std::string& status, const std::string& body,
                     std::vector<std::string> header = {}) {
    header.push_back("Content-Length: " + std::to_string(body.size()));
    return scriptedReply({httpResponse(status, header, body)});
}

} // namespace

TEST_F(FetchesFixture, SourcesAreTriedInOrderAndThePictureItselfStopsAtTheLimit) {
    const std::string big(3000, 'x');
    const QByteArray embedded("\xFF\xD8" "embedded\xFF\xD9");
    const std::string camera =
        lumi::test::withExif(QByteArray("\xFF\xD8\xFF\xC0\x01\x11") + QByteArray(3000, 'p'),
                             6, false, embedded)
            .toStdString();
    const std::string thumb = "\xFF\xD8\xFFthumb", picture = "\xFF\xD8\xFFpicture";
    // How the picture's server answers a Range line: as asked, with the whole picture, with
    // the start of a picture announced as 10 MB and then silence, or with another part.
    enum class Serve { Ranged, Whole, Endless, OtherPart };
    struct Case {
        const char* name;
        bool withThumbnail;
        std::string thumbStatus, picture;
        Serve serve;
        std::vector<std::string> asked;
        std::string bytes, reason;
        bool tooLarge;
    };
    const std::vector<Case> cases = {
        {"thumbnail first", true, "HTTP/1.0 200 OK", camera, Serve::Ranged, {"/t.jpg"}, thumb,
         "", false},
        {"embedded when the thumbnail fails", true, "HTTP/1.0 404 Not Found", camera,
         Serve::Ranged, {"/t.jpg", "/p.jpg ranged"}, embedded.toStdString(), "", false},
        {"embedded when the thumbnail is not the GIF it says", true,
         "HTTP/1.0 200 OK\r\nContent-Type: image/gif", camera, Serve::Ranged,
         {"/t.jpg", "/p.jpg ranged"}, embedded.toStdString(), "", false},
        {"embedded from a server ignoring Range", false, "", camera, Serve::Endless,
         {"/p.jpg ranged"}, embedded.toStdString(), "", false},
        {"a 206 of another part is refused", false, "", camera, Serve::OtherPart,
         {"/p.jpg ranged", "/p.jpg"}, "", "Over the size limit", true},
        {"picture when none is embedded", true, "HTTP/1.0 404 Not Found", picture,
         Serve::Ranged, {"/t.jpg", "/p.jpg ranged", "/p.jpg"}, picture, "", false},
        {"none embedded, a server ignoring Range", false, "", "\xFF\xD8\xFF\xC0" + big,
         Serve::Endless, {"/p.jpg ranged", "/p.jpg"}, "", "Over the size limit", true},
        {"small picture sent whole", false, "", picture, Serve::Whole, {"/p.jpg ranged"},
         picture, "", false},
        {"large picture", false, "", "\xFF\xD8\xFF" + big, Serve::Whole,
         {"/p.jpg ranged", "/p.jpg"}, "", "Over the size limit", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer web;
        web.respond = [&](const std::string& request, int) {
            if (request.find("/t.jpg") != std::string::npos) return answer(c.thumbStatus, thumb);
            if (request.find("Range:") == std::string::npos || c.serve == Serve::Whole)
                return answer("HTTP/1.0 200 OK", c.picture);
            const std::string last = std::to_string(c.picture.size() - 1);
            if (c.serve != Serve::Endless)
                return answer("HTTP/1.1 206 Partial Content", c.picture,
                              {std::string("Content-Range: bytes ") +
                               (c.serve == Serve::Ranged ? "0-" : "1-") + last + "/" +
                               std::to_string(c.picture.size())});
            return scriptedReply({httpResponse("HTTP/1.1 200 OK", {"Content-Length: 10000000"},
                                               c.picture)},
                                 ScriptedReply::Ending::StayOpen);
        };
        outcomes.clear();
        auto fetches = make("[Options]\nThumbMaxKB=2\n");
        // Kept connections: one left mid-answer after 64 kB must not serve the next source.
        fetches->setConnectionPool(std::make_shared<lumi::ConnectionPool>());
        lumi::PictureSource source;
        if (c.withThumbnail) source.thumbnail = web.url("/t.jpg");
        fetches->want({{"k", lumi::thumbnailSources(web.url("/p.jpg"), source)}});
        ASSERT_TRUE(waitUntil([&] { return !outcomes.empty(); }, 10000));
        EXPECT_EQ(pathsOf(web), c.asked);
        EXPECT_EQ(outcomes[0].bytes.toStdString(), c.bytes);
        EXPECT_EQ(outcomes[0].reason, c.reason);
        EXPECT_EQ(outcomes[0].tooLarge, c.tooLarge);
        EXPECT_EQ(outcomes[0].orientation, c.bytes == embedded.toStdString() ? 6 : 1);
    }
}

TEST_F(FetchesFixture, AtMostTwoRunAtAHostAndQueuedOnesNoLongerWantedAreDropped) {
    // Nothing ever answers; rows 8 and 9 are at another host, and go while 2..7 wait.
    ScriptedServer other;
    server.respond = other.respond = [&](const std::string&, int) {
        return scriptedReply({}, ScriptedReply::Ending::StayOpen);
    };
    auto fetches = make("");
    std::vector<lumi::ThumbnailRequest> screen;
    for (int i = 0; i < 10; ++i) {
        const std::string path = "/" + std::to_string(i) + ".jpg";
        screen.push_back({path, {(i < 8 ? server : other).url(path)}});
    }
    fetches->want(screen);
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() + other.requests().size() == 4; }, 10000));
    EXPECT_EQ(fetches->running(), 2 * ThumbnailFetches::MostPerHost);
    EXPECT_EQ(fetches->queued(), 6u);
    // Scrolled on: rows 2..9 left the screen, row 20 came in.
    fetches->want({{"/20.jpg", {server.url("/20.jpg")}}, screen[0]});
    EXPECT_EQ(fetches->queued(), 1u) << "a running request is not queued twice";
    EXPECT_TRUE(fetches->has("/0.jpg"));
    EXPECT_FALSE(fetches->has("/7.jpg"));
    fetches->clear();
    EXPECT_EQ(fetches->running(), 0u);
    EXPECT_EQ(fetches->queued(), 0u);
    EXPECT_EQ(pathsOf(server), (std::vector<std::string>{"/0.jpg", "/1.jpg"}));
    EXPECT_EQ(pathsOf(other), (std::vector<std::string>{"/8.jpg", "/9.jpg"}));
}

TEST_F(FetchesFixture, AFetchEndsAtItsDeadlineHoweverItTrickles) {
    std::vector<std::string> lines = {"HTTP/1.1 200 OK\r\n"};
    lines.resize(400, "X-Wait: 1\r\n");
    server.respond = [&](const std::string&, int) {
        return scriptedReply(lines, ScriptedReply::Ending::StayOpen);
    };
    lumi::test::FakeClock clock;
    auto fetches = make("");
    fetches->want({{"k", {server.url("/slow.jpg")}}});
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 1; }));
    clock.advance(15000);
    ASSERT_TRUE(waitUntil([&] { return !outcomes.empty(); }));
    EXPECT_EQ(outcomes[0].reason, "No thumbnail within 15 s");
}

TEST(ThumbnailDiskCache, PruningDropsTheOldestUntilTheRestFitTheBound) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/thumbs/";
    const QDateTime now = QDateTime::currentDateTime();
    // Address, bytes, age in hours.
    const std::vector<std::tuple<std::string, int, int>> files = {
        {"http://a/old.jpg", 100, 30}, {"http://a/new.jpg", 100, 1},
        {"http://a/mid.jpg", 100, 5},  {"http://a/older.jpg", 10, 40}};
    int64_t blocks = 0;
    for (const auto& [address, size, hours] : files) {
        ASSERT_EQ(lumi::ThumbnailDiskCache(folder).write(address, recordOf(address, QByteArray(size, 'j'))), "");
        const std::string path = folder + lumi::ThumbnailDiskCache::entryName(address);
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(now.addSecs(-3600 * hours), QFileDevice::FileModificationTime));
        struct stat st;
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        blocks = int64_t(st.st_blocks) * 512;
    }
    ASSERT_GT(blocks, 200) << "a small file takes a block";
    // Room for two files as the disk counts them, for all four by their bytes.
    const lumi::ThumbnailDiskCache cache(folder, blocks * 5 / 2);
    EXPECT_EQ(cache.prune(), (std::vector<std::string>{
                                 lumi::ThumbnailDiskCache::entryName("http://a/new.jpg"),
                                 lumi::ThumbnailDiskCache::entryName("http://a/mid.jpg")}))
        << "the newest that fit, newest first; the older ones go even when small";
    EXPECT_FALSE(cache.read("http://a/old.jpg"));
    EXPECT_EQ(cache.read("http://a/mid.jpg")->image, QByteArray(100, 'j'));
}

// What a user or another program may leave where the cache is (root holds "thumbs"): the
// cache never blocks on it, never removes or writes what is not its own, and a write that
// fails leaves nothing.
TEST(ThumbnailDiskCache, TouchesOnlyItsOwnEntriesNeverBlocksAndKeepsNoFailedWrite) {
    const std::string a = "http://h/a.jpg", b = "http://h/b.jpg";
    const std::string entryA = lumi::ThumbnailDiskCache::entryName(a);
    const std::string entryB = lumi::ThumbnailDiskCache::entryName(b);
    const auto userFiles = [&a](const std::string& folder) {
        QDir().mkpath(QString::fromStdString(folder));
        for (const char* name : {"/notes.txt", "/.notes"})
            std::ofstream(folder + name) << "mine";
        std::ofstream(folder + "/disk.img") << "";
        ASSERT_EQ(::truncate((folder + "/disk.img").c_str(), off_t(250) << 20), 0);
        lumi::ThumbnailDiskCache(folder + "/").write(a, recordOf(a, "kept"));
    };
    struct Case {
        const char* name;
        std::function<void(const std::string& root)> setUp;
        bool full, written;
        std::set<std::string> left;
    };
    const std::vector<Case> cases = {
        {"a FIFO in place of an entry",
         [&](const std::string& root) {
             ::mkdir((root + "/thumbs").c_str(), 0700);
             ::mkfifo((root + "/thumbs/" + entryA).c_str(), 0600);
         },
         false, true, {entryA, entryB}},
        {"the folder a link to the user's",
         [&](const std::string& root) {
             userFiles(root + "/user");
             ::symlink("user", (root + "/thumbs").c_str());
         },
         false, false, {".notes", entryA, "disk.img", "notes.txt"}},
        {"the user's files beside its own",
         [&](const std::string& root) { userFiles(root + "/thumbs"); }, false, true,
         {".notes", entryB, "disk.img", "notes.txt"}},
        {"a full disk", [](const std::string&) {}, true, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        c.setUp(root);
        const lumi::ThumbnailDiskCache cache(root + "/thumbs/", 1);
        EXPECT_TRUE(cache.prune().empty());
        EXPECT_FALSE(cache.read(a));
        // A file-size limit of 0 fails every write as a full disk does.
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit none{0, saved.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        if (c.full) ::setrlimit(RLIMIT_FSIZE, &none);
        const std::string error = cache.write(b, recordOf(b, "fresh"));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(error.empty(), c.written) << error;
        std::set<std::string> left;
        for (const QString& name : QDir(dir.filePath(QStringLiteral("thumbs")))
                                       .entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                  QDir::NoDotAndDotDot))
            left.insert(name.toStdString());
        EXPECT_EQ(left, c.left);
    }
}
