// The grid's thumbnail fetches against a scripted loopback server: the sources in order
// (the embedded one asked with a Range line), the size limit on the picture itself, at most
// six at once, and queued requests dropped when the view no longer wants them; the disk
// cache's bound.
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include "common/EventLoopWait.h"
#include "common/ExifSample.h"
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

ScriptedReply answer(const std::string& status, const std::string& body) {
    return scriptedReply({httpResponse(status, {"Content-Length: " + std::to_string(body.size())},
                                       body)});
}

} // namespace

TEST_F(FetchesFixture, SourcesAreTriedInOrderAndThePictureItselfStopsAtTheLimit) {
    const std::string big(3000, 'x');
    const QByteArray embedded("\xFF\xD8" "embedded\xFF\xD9");
    const std::string camera =
        lumi::test::withExif(QByteArray("\xFF\xD8\xFF\xC0\x01\x11") + QByteArray(3000, 'p'),
                             6, false, embedded)
            .toStdString();
    // How the picture's server answers a Range line: as asked, with the whole picture, or
    // with the start of a picture announced as 10 MB and then silence.
    enum class Serve { Ranged, Whole, Endless };
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
        {"thumbnail first", true, "HTTP/1.0 200 OK", camera, Serve::Ranged, {"/t.jpg"}, "thumb",
         "", false},
        {"embedded when the thumbnail fails", true, "HTTP/1.0 404 Not Found", camera,
         Serve::Ranged, {"/t.jpg", "/p.jpg ranged"}, embedded.toStdString(), "", false},
        {"embedded from a server ignoring Range", false, "", camera, Serve::Endless,
         {"/p.jpg ranged"}, embedded.toStdString(), "", false},
        {"picture when none is embedded", true, "HTTP/1.0 404 Not Found", "picture",
         Serve::Ranged, {"/t.jpg", "/p.jpg ranged", "/p.jpg"}, "picture", "", false},
        {"none embedded, a server ignoring Range", false, "", "\xFF\xD8\xFF\xC0" + big,
         Serve::Endless, {"/p.jpg ranged", "/p.jpg"}, "", "Over the size limit", true},
        {"small picture sent whole", false, "", "picture", Serve::Whole, {"/p.jpg ranged"},
         "picture", "", false},
        {"large picture", false, "", big, Serve::Whole, {"/p.jpg ranged", "/p.jpg"}, "",
         "Over the size limit", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer web;
        web.respond = [&](const std::string& request, int) {
            if (request.find("/t.jpg") != std::string::npos) return answer(c.thumbStatus, "thumb");
            if (request.find("Range:") == std::string::npos || c.serve == Serve::Whole)
                return answer("HTTP/1.0 200 OK", c.picture);
            if (c.serve == Serve::Ranged) return answer("HTTP/1.1 206 Partial Content", c.picture);
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

TEST_F(FetchesFixture, AtMostSixRunAndQueuedOnesNoLongerWantedAreDropped) {
    // No answer ever comes, so the first six stay running.
    server.respond = [&](const std::string&, int) {
        return scriptedReply({}, ScriptedReply::Ending::StayOpen);
    };
    auto fetches = make("");
    std::vector<lumi::ThumbnailRequest> screen;
    for (int i = 0; i < 10; ++i) {
        const std::string path = "/" + std::to_string(i) + ".jpg";
        screen.push_back({path, {server.url(path)}});
    }
    fetches->want(screen);
    ASSERT_TRUE(waitUntil([&] { return server.requests().size() == 6; }, 10000));
    EXPECT_EQ(fetches->running(), ThumbnailFetches::MostAtOnce);
    EXPECT_EQ(fetches->queued(), 4u);
    // Scrolled on: rows 6..9 left the screen, row 20 came in.
    fetches->want({{"/20.jpg", {server.url("/20.jpg")}}, screen[0]});
    EXPECT_EQ(fetches->queued(), 1u) << "a running request is not queued twice";
    EXPECT_TRUE(fetches->has("/0.jpg"));
    EXPECT_FALSE(fetches->has("/7.jpg"));
    fetches->clear();
    EXPECT_EQ(fetches->running(), 0u);
    EXPECT_EQ(fetches->queued(), 0u);
    for (const std::string& path : pathsOf(server))
        EXPECT_LT(std::stoi(path.substr(1)), 6) << "only the first six were ever asked for";
}

TEST(ThumbnailDiskCache, PruningDropsTheOldestUntilTheRestFitTheBound) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/thumbs/";
    const lumi::ThumbnailDiskCache cache(folder, 250);
    const QDateTime now = QDateTime::currentDateTime();
    // Address, bytes, age in hours.
    const std::vector<std::tuple<std::string, int, int>> files = {
        {"http://a/old.jpg", 100, 30}, {"http://a/new.jpg", 100, 1},
        {"http://a/mid.jpg", 100, 5},  {"http://a/older.jpg", 10, 40}};
    for (const auto& [address, size, hours] : files) {
        ASSERT_TRUE(cache.write(address, QByteArray(size, 'j')));
        QFile file(QString::fromStdString(folder + lumi::ThumbnailDiskCache::entryName(address)));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(now.addSecs(-3600 * hours), QFileDevice::FileModificationTime));
    }
    EXPECT_EQ(cache.prune(), (std::vector<std::string>{
                                 lumi::ThumbnailDiskCache::entryName("http://a/new.jpg"),
                                 lumi::ThumbnailDiskCache::entryName("http://a/mid.jpg")}))
        << "the newest that fit, newest first; the older ones go even when small";
    EXPECT_TRUE(cache.read("http://a/old.jpg").isEmpty());
    EXPECT_EQ(cache.read("http://a/mid.jpg"), QByteArray(100, 'j'));
}
