// The page-fetch and link-check pools against a real loopback web server: pool limits,
// starts per tick, time-outs on an injected clock, abort and release, late events, image
// headers, the page cap and failed starts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/EventLoopWait.h"
#include "engine/PageBuffer.h"
#include "engine/RunningLines.h"
#include "net/ConnectionPool.h"
#include "net/HttpProt.h"
#include "net/ScriptedServer.h"

using lumi::test::EngineUnderTest;
using lumi::test::FakeClock;
using lumi::test::LoopbackServer;
using lumi::test::ReportedErrors;
using lumi::test::waitUntil;

namespace {

// Bound of every wait for network events; a passing wait returns as soon as its condition holds.
constexpr int NetworkWaitMs = 20000;

bool allDone(const lumi::StringList& running) {
    for (const std::string& line : running)
        if (!lumi::isDoneLine(line)) return false;
    return true;
}

// No client in either pool and no line in either running list.
bool poolsEmpty(EngineUnderTest& engine) {
    return engine->GetPageClients.empty() && engine->CheckLinkClients.empty() &&
           engine->GetPageRunning.empty() && engine->CheckLinkRunning.empty();
}

// Starts a search whose own result pages are dropped, so only the test's work runs.
void startQuietSearch(EngineUnderTest& engine) {
    engine->SearchButtonClick("x");
    engine->GetPageQueue.clear();
}

// The same with the "Check Links" box fixed.
void startQuietSearch(EngineUnderTest& engine, bool checkLinks) {
    engine->setCheckLinksReader([checkLinks] { return checkLinks; });
    startQuietSearch(engine);
}

} // namespace

TEST(ClientPools, ModemLimitsFivePageFetchesAndTenChecks) {
    LoopbackServer server;
    EngineUnderTest engine;
    startQuietSearch(engine);
    for (int i = 0; i < 20; ++i)
        engine->QueueForGetPage(server.url("/hang/" + std::to_string(i)), 99);
    for (int i = 0; i < 20; ++i)
        engine->QueueForCheckLink(server.url("/hang/" + std::to_string(i) + ".jpg"));

    engine->Timer2Timer();
    EXPECT_EQ(engine->GetPageClients.size(), 5u);
    EXPECT_EQ(engine->GetPageRunning.size(), 5u);
    EXPECT_EQ(engine->GetPageQueue.size(), 15u);
    engine->Timer2Timer();
    EXPECT_EQ(engine->GetPageClients.size(), 5u) << "nothing more until a client is released";

    engine->Timer1Timer();
    EXPECT_EQ(engine->CheckLinkClients.size(), 10u) << "one tick fills the pool";
    engine->Timer1Timer();
    EXPECT_EQ(engine->CheckLinkClients.size(), 10u);
    EXPECT_EQ(engine->CheckLinkQueue.size(), 10u);

    // Running lines: start tick, TAB, URL for pages; the client's tag for checks.
    EXPECT_EQ(lumi::runningItem(engine->GetPageRunning[0]), server.url("/hang/0"));
    EXPECT_EQ(engine->GetPageClients[0].client->Tag, 99);
    for (size_t i = 0; i < engine->CheckLinkClients.size(); ++i) {
        const int tag = engine->CheckLinkClients[i]->Tag;
        EXPECT_GE(tag, 0);
        EXPECT_EQ(lumi::runningItem(engine->CheckLinkRunning[i]), std::to_string(tag));
    }
    engine->Timer5Timer();
    EXPECT_EQ(engine->display().processesText, "15");
    EXPECT_EQ(engine->display().getPageClientsText, "5");
    EXPECT_EQ(engine->display().checkLinkClientsText, "10");
    EXPECT_EQ(engine->display().getPageQueueText, "15");
    EXPECT_EQ(engine->display().checkLinkQueueText, "10");
}

TEST(ClientPools, LanLimitsTwentyPageFetchesAndTwentyFiveChecks) {
    LoopbackServer server;
    EngineUnderTest engine;
    engine.option("SlowConnection", "0");
    startQuietSearch(engine);
    for (int i = 0; i < 30; ++i)
        engine->QueueForGetPage(server.url("/hang/" + std::to_string(i)), 0);
    for (int i = 0; i < 30; ++i)
        engine->QueueForCheckLink(server.url("/hang/" + std::to_string(i) + ".jpg"));
    std::vector<size_t> pages, checks;
    for (int tick = 0; tick < 4; ++tick) {
        engine->Timer2Timer();
        engine->Timer1Timer();
        pages.push_back(engine->GetPageClients.size());
        checks.push_back(engine->CheckLinkClients.size());
    }
    EXPECT_THAT(pages, testing::ElementsAre(20, 20, 20, 20));
    EXPECT_THAT(checks, testing::ElementsAre(25, 25, 25, 25));
}

// Finished work is replaced at once: the timers are an hour apart, yet all 30 of each run.
TEST(ClientPools, FinishedChecksAndPagesAreReplacedAtOnce) {
    LoopbackServer server;
    EngineUnderTest engine;
    startQuietSearch(engine);
    for (QTimer* timer : {engine->Timer1, engine->Timer2, engine->Timer3, engine->Timer4})
        timer->start(3600 * 1000);
    for (int i = 0; i < 30; ++i) {
        engine->QueueForGetPage(server.url("/p" + std::to_string(i)), 99);
        engine->QueueForCheckLink(server.url("/img/" + std::to_string(20000 + i) + ".jpg"));
    }
    engine->Timer2Timer();
    engine->Timer1Timer();
    EXPECT_TRUE(waitUntil([&] { return engine->FoundList.size() == 30 && poolsEmpty(engine); },
                          NetworkWaitMs));
}

TEST(ClientPools, AbortReleasesEveryClientInOneSweepTick) {
    LoopbackServer server;
    EngineUnderTest engine;
    engine.option("SlowConnection", "0");
    startQuietSearch(engine);
    for (int i = 0; i < 12; ++i) {
        engine->QueueForGetPage(server.url("/hang/" + std::to_string(i)), 99);
        engine->QueueForCheckLink(server.url("/hang/" + std::to_string(i) + ".jpg"));
    }
    engine->Timer2Timer();
    engine->Timer1Timer();
    ASSERT_EQ(engine->GetPageClients.size(), 12u);
    ASSERT_EQ(engine->CheckLinkClients.size(), 12u);

    engine->AbortButtonClick();
    EXPECT_TRUE(allDone(engine->GetPageRunning));
    EXPECT_TRUE(allDone(engine->CheckLinkRunning));
    engine->Timer5Timer();
    EXPECT_EQ(engine->display().processesText, "24");
    engine->Timer3Timer();
    engine->Timer4Timer();
    EXPECT_TRUE(poolsEmpty(engine));
    engine->Timer5Timer();
    EXPECT_EQ(engine->display().processesText, "0");
}

TEST(ClientPools, TimeOutAfterThirtySecondsAboveTwoToTheThirtyOneAndAcrossTheWrap) {
    for (const uint32_t start : {3000000000u, 4294967295u - 10000u}) {
        SCOPED_TRACE(start);
        LoopbackServer server;
        FakeClock clock(start);
        EngineUnderTest engine;
        startQuietSearch(engine);
        engine->QueueForGetPage(server.url("/hang/page"), 99);
        engine->QueueForCheckLink(server.url("/hang/pic.jpg"));
        engine->Timer2Timer();
        engine->Timer1Timer();
        ASSERT_EQ(engine->GetPageRunning[0],
                  std::to_string(start) + "\t" + server.url("/hang/page"));

        clock.set(start + 30000u); // wraps for the second start
        engine->Timer3Timer();
        engine->Timer4Timer();
        EXPECT_FALSE(lumi::isDoneLine(engine->GetPageRunning[0]))
            << "30 000 ms is not over the limit";
        EXPECT_FALSE(lumi::isDoneLine(engine->CheckLinkRunning[0]));

        clock.set(start + 30001u);
        engine->Timer3Timer();
        engine->Timer4Timer();
        EXPECT_TRUE(lumi::isDoneLine(engine->GetPageRunning[0]));
        EXPECT_TRUE(lumi::isDoneLine(engine->CheckLinkRunning[0]));
        EXPECT_EQ(engine->GetPageClients.size(), 1u) << "timed out this tick, released the next";

        engine->Timer3Timer();
        engine->Timer4Timer();
        EXPECT_TRUE(poolsEmpty(engine));
    }
}

TEST(ClientPools, SweepTimesOutSeveralLinesAndReleasesThemTheNextTick) {
    LoopbackServer server;
    FakeClock clock(500);
    EngineUnderTest engine;
    startQuietSearch(engine);
    for (int i = 0; i < 3; ++i)
        engine->QueueForGetPage(server.url("/hang/" + std::to_string(i)), 99);
    engine->Timer2Timer();
    clock.advance(40000);
    engine->Timer3Timer();
    EXPECT_TRUE(allDone(engine->GetPageRunning));
    EXPECT_EQ(engine->GetPageClients.size(), 3u);
    engine->Timer3Timer();
    EXPECT_TRUE(engine->GetPageClients.empty()) << "the next tick releases all three";
}

TEST(LinkChecks, ImageHeadersAreListedWithTheirSizeOrUnknown) {
    LoopbackServer server;
    EngineUnderTest engine;
    startQuietSearch(engine);
    engine->QueueForCheckLink(server.url("/img/25000.jpg"));
    engine->QueueForCheckLink(server.url("/nolen.gif"));
    engine->QueueForCheckLink(server.url("/page.jpg"));    // text/html
    engine->QueueForCheckLink(server.url("/img/500.jpg")); // below the 20 kb default
    engine->Timer1Timer();
    ASSERT_TRUE(waitUntil([&] { return allDone(engine->CheckLinkRunning); }, NetworkWaitMs));
    ASSERT_EQ(engine->FoundList.size(), 2u);
    const long sized = engine->FoundList.indexOf(server.url("/img/25000.jpg"));
    const long unknown = engine->FoundList.indexOf(server.url("/nolen.gif"));
    ASSERT_GE(sized, 0);
    ASSERT_GE(unknown, 0);
    EXPECT_EQ(engine->results().row(static_cast<size_t>(sized)).sizeText, "25000");
    EXPECT_EQ(engine->results().row(static_cast<size_t>(sized)).caption, "25000.jpg");
    EXPECT_EQ(engine->results().row(static_cast<size_t>(unknown)).sizeText, "UNKNOWN");
    EXPECT_EQ(engine->CheckLinkClients.size(), 4u) << "finished checks wait for the sweep";
    engine->Timer4Timer();
    EXPECT_TRUE(engine->CheckLinkClients.empty());
}

// Two checks one after the other: a 206 to the first-byte Range gives the whole size, which
// the bounds judge, and its connection serves the second check; an answer that ignores Range
// is cut off at the header, so the second check connects anew.
TEST(LinkChecks, ARangedCheckGivesTheWholeSizeAndKeepsItsConnection) {
    const struct {
        std::string answer, sizeText;
        int connections;
    } cases[] = {
        {"206 Partial Content\r\nContent-Range: bytes 0-0/25000\r\nContent-Length: 1", "25000", 1},
        {"206 Partial Content\r\nContent-Range: bytes 0-0/500\r\nContent-Length: 1", "", 1},
        {"206 Partial Content\r\nContent-Range: bytes 0-0/*\r\nContent-Length: 1", "UNKNOWN", 1},
        {"200 OK\r\nContent-Length: 30000", "30000", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        lumi::test::ScriptedServer web;
        web.respond = [&](const std::string&, int) {
            return lumi::test::scriptedReply(
                {"HTTP/1.1 " + c.answer + "\r\nContent-Type: image/jpeg\r\n\r\nx"},
                lumi::test::ScriptedReply::Ending::KeepAlive);
        };
        EngineUnderTest engine({"127.0.0.1:1", "127.0.0.1:1", "127.0.0.1:1"},
                               std::make_shared<lumi::ConnectionPool>());
        startQuietSearch(engine);
        for (const char* path : {"/a.jpg", "/b.jpg"}) {
            engine->QueueForCheckLink(web.url(path));
            engine->Timer1Timer();
            ASSERT_TRUE(
                waitUntil([&] { return allDone(engine->CheckLinkRunning); }, NetworkWaitMs));
        }
        EXPECT_THAT(web.requests().at(1), testing::HasSubstr("Range: bytes=0-0\r\n"));
        EXPECT_EQ(web.accepted(), c.connections);
        EXPECT_EQ(engine->FoundList.size() == 2 ? engine->results().row(1).sizeText : "",
                  c.sizeText);
    }
}

TEST(LinkChecks, ALateHeaderStillListsWhileSearchingButNotAfterAnAbort) {
    for (const bool abortFirst : {false, true}) {
        SCOPED_TRACE(abortFirst);
        LoopbackServer server;
        FakeClock clock(77);
        EngineUnderTest engine;
        startQuietSearch(engine);
        engine->QueueForCheckLink(server.url("/gate/late.jpg"));
        engine->Timer1Timer();
        ASSERT_EQ(engine->CheckLinkClients.size(), 1u);
        clock.advance(30001);
        engine->Timer4Timer();
        ASSERT_TRUE(lumi::isDoneLine(engine->CheckLinkRunning[0])) << "timed out";
        if (abortFirst) engine->AbortButtonClick();
        server.openGate();
        THttpCli& client = *engine->CheckLinkClients[0];
        ASSERT_TRUE(waitUntil([&] { return client.ContentType() == "image/jpeg"; }, NetworkWaitMs));
        EXPECT_EQ(engine->FoundList.size(), abortFirst ? 0u : 1u);
        EXPECT_EQ(engine->CheckLinkRunning.size(), 1u);
        EXPECT_TRUE(lumi::isDoneLine(engine->CheckLinkRunning[0]));
        engine->Timer4Timer();
        EXPECT_TRUE(engine->CheckLinkClients.empty());
    }
}

TEST(PageFetches, ARunningPrefixAddressIsMarkedAndReleasedOnlyThroughItsOwnClient) {
    LoopbackServer server;
    EngineUnderTest engine;
    startQuietSearch(engine);
    const std::string longer = server.url("/page-hang");
    const std::string prefix = server.url("/page");
    engine->QueueForGetPage(longer, 99);
    engine->QueueForGetPage(prefix, 99);
    engine->Timer2Timer();
    ASSERT_EQ(engine->GetPageRunning.size(), 2u);
    ASSERT_TRUE(
        waitUntil([&] { return lumi::isDoneLine(engine->GetPageRunning[1]); }, NetworkWaitMs));
    EXPECT_FALSE(lumi::isDoneLine(engine->GetPageRunning[0])) << "the longer address still runs";
    engine->Timer3Timer();
    ASSERT_EQ(engine->GetPageClients.size(), 1u);
    EXPECT_EQ(engine->GetPageClients[0].client->URL, longer);
    ASSERT_EQ(engine->GetPageRunning.size(), 1u);
    EXPECT_EQ(lumi::runningItem(engine->GetPageRunning[0]), longer);
    engine->Timer3Timer();
    EXPECT_EQ(engine->GetPageClients.size(), 1u) << "a running line is not released";
}

TEST(PageFetches, AHugePageIsCappedAndStillRouted) {
    LoopbackServer server;
    EngineUnderTest engine;
    startQuietSearch(engine);
    engine->QueueForGetPage(server.url("/big"), 99);
    engine->Timer2Timer();
    ASSERT_TRUE(waitUntil([&] { return allDone(engine->GetPageRunning); }, NetworkWaitMs));
    const lumi::CappedBuffer& kept = *engine->GetPageClients[0].buffer;
    EXPECT_EQ(static_cast<int64_t>(kept.bytes().size()), lumi::MaxPageBytes);
    EXPECT_EQ(kept.droppedBytes(), 9 * 1024 * 1024 - lumi::MaxPageBytes);
}

TEST(PageFetches, RefusedAndUnresolvedRequestsStillCompleteAndMarkTheirLines) {
    EngineUnderTest engine;
    startQuietSearch(engine);
    engine->QueueForGetPage("http://127.0.0.1:1/refused", 99);       // nothing listens on port 1
    engine->QueueForGetPage("http://no-such-host.invalid/page", 99); // never resolves
    engine->Timer2Timer();
    ASSERT_EQ(engine->GetPageRunning.size(), 2u);
    EXPECT_TRUE(waitUntil([&] { return allDone(engine->GetPageRunning); }, NetworkWaitMs));
    engine->Timer3Timer();
    engine->Timer3Timer();
    EXPECT_TRUE(engine->GetPageClients.empty());
}

TEST(PageFetches, AClientWhoseStartRaisedIsDroppedAtOnce) {
    ReportedErrors errors;
    EngineUnderTest engine;
    startQuietSearch(engine);
    engine->QueueForGetPage("http:///nohost", 99);
    engine->QueueForCheckLink("http:///nohost.jpg");
    engine->Timer2Timer();
    engine->Timer1Timer();
    EXPECT_TRUE(poolsEmpty(engine));
    EXPECT_TRUE(engine->GetPageQueue.empty()) << "the item is lost";
    EXPECT_THAT(errors.texts, testing::ElementsAre("error code : #0038 (GetPage)",
                                                   "error code : #0002 (CheckLink)"));
}

TEST(SearchRun, CheckedImagesAreListedWithTheirSizesByTheTimers) {
    LoopbackServer server;
    EngineUnderTest engine({server.host(), server.host(), server.host()});
    engine.option("SlowConnection", "0");
    for (QTimer* timer :
         {engine->Timer1, engine->Timer2, engine->Timer3, engine->Timer4, engine->Timer5})
        timer->start();
    engine->SearchButtonClick("pictures");
    for (int i = 0; i < 30; ++i)
        engine->QueueForCheckLink(server.url("/img/" + std::to_string(20000 + i) + ".jpg"));
    ASSERT_TRUE(waitUntil([&] { return engine->FoundList.size() == 30; }, NetworkWaitMs));
    EXPECT_TRUE(waitUntil(
        [&] { return engine->CheckLinkClients.empty() && engine->GetPageClients.empty(); },
        NetworkWaitMs))
        << "the sweeps release every finished client";
    EXPECT_EQ(engine->display().foundText, "30");
    engine->results().publishPendingRows();
    EXPECT_EQ(engine->results().rowCount(), 30);
    EXPECT_TRUE(waitUntil([&] { return engine->display().processesText == "0"; }, NetworkWaitMs));
    EXPECT_EQ(engine->GetPageSeen.size(), 4u) << "only the four result pages were queued";
}

TEST(PageFetches, ProxySettingsAreReadAfreshForEveryRequest) {
    LoopbackServer server;
    EngineUnderTest engine;
    startQuietSearch(engine);
    engine->QueueForGetPage(server.url("/hang/direct"), 99);
    engine->Timer2Timer();
    engine.option("UseProxy", "1");
    engine.option("ProxyServer", "127.0.0.1");
    engine->QueueForGetPage(server.url("/hang/proxied"), 99);
    engine->QueueForCheckLink(server.url("/hang/proxied.jpg"));
    engine->Timer2Timer();
    engine->Timer1Timer();
    ASSERT_EQ(engine->GetPageClients.size(), 2u);
    EXPECT_EQ(engine->GetPageClients[0].client->Proxy, "");
    EXPECT_EQ(engine->GetPageClients[0].client->ProxyPort, "");
    EXPECT_EQ(engine->GetPageClients[1].client->Proxy, "127.0.0.1");
    EXPECT_EQ(engine->GetPageClients[1].client->ProxyPort, "80") << "the reader's default port";
    ASSERT_EQ(engine->CheckLinkClients.size(), 1u);
    EXPECT_EQ(engine->CheckLinkClients[0]->Proxy, "127.0.0.1");
}

TEST(SearchRun, AFetchedPagesImageIsCheckedOrListedAtOnceByTheCheckLinksBox) {
    for (const bool checkLinks : {true, false}) {
        SCOPED_TRACE(checkLinks);
        LoopbackServer server;
        EngineUnderTest engine;
        startQuietSearch(engine, checkLinks);
        engine->QueueForGetPage(server.url("/gallery.htm"), 99);
        engine->Timer2Timer();
        ASSERT_TRUE(waitUntil([&] { return allDone(engine->GetPageRunning); }, NetworkWaitMs));
        const std::string image = server.url("/img/25000.jpg");
        if (checkLinks) {
            ASSERT_TRUE(engine->CheckLinkQueue.contains(image));
            EXPECT_TRUE(engine->FoundList.empty()) << "listed only once checked";
            engine->Timer1Timer();
            ASSERT_TRUE(waitUntil([&] { return engine->FoundList.size() == 1; }, NetworkWaitMs));
            EXPECT_EQ(engine->results().row(0).sizeText, "25000");
        } else {
            EXPECT_TRUE(engine->CheckLinkQueue.empty());
            ASSERT_EQ(engine->FoundList.size(), 1u);
            EXPECT_EQ(engine->results().row(0).sizeText, "UNKNOWN");
        }
        EXPECT_EQ(engine->FoundList[0], image);
    }
}

// Guards against rows of an abandoned search appearing in the next one: the old search's link
// check and page are held by the server until Enter has started the new search, and their
// late header and page then list nothing and queue nothing, while the new search's own work
// still counts.
TEST(SearchSwitch, LateWorkOfAnAbandonedSearchListsAndQueuesNothingInTheNext) {
    for (const bool checkLinks : {true, false}) {
        SCOPED_TRACE(checkLinks);
        LoopbackServer server;
        EngineUnderTest engine;
        startQuietSearch(engine, checkLinks);
        engine->QueueForCheckLink(server.url("/gate/old.jpg"));
        engine->QueueForGetPage(server.url("/gate/old.htm"), 99);
        engine->Timer1Timer();
        engine->Timer2Timer();
        ASSERT_EQ(engine->CheckLinkClients.size(), 1u);
        ASSERT_EQ(engine->GetPageClients.size(), 1u);
        bool headerSeen = false, pageDone = false;
        THttpCli& check = *engine->CheckLinkClients[0];
        THttpCli& page = *engine->GetPageClients[0].client;
        check.OnHeaderEnd = [&headerSeen, handler = check.OnHeaderEnd](THttpCli* sender) {
            handler(sender);
            headerSeen = true;
        };
        page.OnRequestDone = [&pageDone, handler = page.OnRequestDone](
                                 THttpCli* sender, THttpRequest rqType, int error) {
            handler(sender, rqType, error);
            pageDone = true;
        };

        char enter = 13;
        engine->Edit1KeyPress(enter, "next");
        ASSERT_TRUE(engine->Searching);
        engine->GetPageQueue.clear(); // the new result pages are not part of this test
        server.openGate();
        ASSERT_TRUE(waitUntil([&] { return headerSeen && pageDone; }, NetworkWaitMs));
        EXPECT_EQ(check.ContentType(), "image/jpeg") << "the old check did get its image header";
        EXPECT_TRUE(engine->FoundList.empty());
        EXPECT_TRUE(engine->CheckLinkQueue.empty());
        EXPECT_TRUE(engine->GetPageQueue.empty());
        EXPECT_TRUE(allDone(engine->CheckLinkRunning));
        EXPECT_TRUE(allDone(engine->GetPageRunning));

        engine->QueueForCheckLink(server.url("/img/20000.jpg"));
        engine->Timer1Timer();
        ASSERT_TRUE(waitUntil([&] { return engine->FoundList.size() == 1; }, NetworkWaitMs));
        EXPECT_EQ(engine->FoundList[0], server.url("/img/20000.jpg"));
    }
}

// Guards against a page fetched again in the next search being left to time out: its
// completion must mark its own line, not the old search's finished line for the same
// address that still waits for the sweep.
TEST(SearchSwitch, APageFetchedAgainMarksItsOwnLine) {
    LoopbackServer server;
    EngineUnderTest engine;
    startQuietSearch(engine);
    engine->QueueForGetPage(server.url("/again.htm"), 99);
    engine->Timer2Timer();
    ASSERT_TRUE(waitUntil([&] { return allDone(engine->GetPageRunning); }, NetworkWaitMs));

    char enter = 13;
    engine->Edit1KeyPress(enter, "next");
    engine->GetPageQueue.clear();
    engine->QueueForGetPage(server.url("/again.htm"), 99);
    engine->Timer2Timer();
    ASSERT_EQ(engine->GetPageRunning.size(), 2u) << "the old client is not released yet";
    EXPECT_TRUE(waitUntil([&] { return allDone(engine->GetPageRunning); }, NetworkWaitMs));
}
