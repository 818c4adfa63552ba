// A search over dead hosts, refused ports, error answers cut short, relocations (slow,
// unfollowable, a moved page) and empty pictures, run by the engine's own timers: the rows
// listed, and that the search says "Done" long before work held to the 30 s time-out could.
#include <algorithm>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/EventLoopWait.h"
#include "net/ScriptedServer.h"

using lumi::test::EngineUnderTest;
using lumi::test::LoopbackServer;

namespace {

// From the page to "Done": 2 s idle, and a burst of dead lookups may meet DNS's 5 s retry.
constexpr int DoneBoundMs = 12000;

std::string imagesPage(const std::vector<std::string>& addresses) {
    std::string page;
    for (const std::string& address : addresses)
        page += "<img src=\"" + address + "\">\r\n";
    return page;
}

} // namespace

TEST(HostileSearch, EveryRequestFreesItsSlotWhenItEndsAndTheSearchSaysDone) {
    LoopbackServer web;
    lumi::test::ScriptedServer split; // a 404 whose header comes in two pieces
    split.respond = [](const std::string&, int) {
        return lumi::test::scriptedReply({"HTTP/1.0 404 Not Found\r\n", "Content-Type: x\r\n\r\n"});
    };
    const std::string good = web.url("/img/25000.jpg");
    std::vector<std::string> dead{good}, refused{good, "https://" + web.host() + "/img/26000.jpg"},
        cut{good}, unfollowable{good}, slow;
    for (int i = 0; i < 30; ++i) {
        const std::string n = std::to_string(i);
        dead.push_back("http://no-such-host-" + n + ".invalid/p.jpg");
        refused.push_back("http://127.0.0.1:1/r" + n + ".jpg");
        cut.push_back(split.url("/e" + n + ".jpg"));
        unfollowable.push_back(web.url("/away/" + n + ".jpg"));
        if (i < 5) slow.push_back(web.url("/moved/" + std::to_string(20000 + i) + ".jpg"));
    }
    const struct {
        const char* name;
        std::string page;    // the text of /page.htm
        std::string address; // the page the search is led to
        std::vector<std::string> rows;
    } cases[] = {
        {"dead hosts", imagesPage(dead), web.url("/page.htm"), {good}},
        {"refused port, https", imagesPage(refused), web.url("/page.htm"), {good}},
        {"split 4xx header", imagesPage(cut), web.url("/page.htm"), {good}},
        {"relocation to a slow target", imagesPage(slow), web.url("/page.htm"), slow},
        {"unfollowable relocation", imagesPage(unfollowable), web.url("/page.htm"), {good}},
        {"moved page", "", web.url("/old/index.html"), {web.url("/new/place/pics/x.jpg")}},
        {"zero length", imagesPage({web.url("/zero.jpg"), good}), web.url("/page.htm"), {good}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        web.setPage(c.page);
        EngineUnderTest engine;
        for (QTimer* timer : {engine->Timer1, engine->Timer2, engine->Timer3, engine->Timer4})
            timer->start();
        engine->SearchButtonClick("x");
        engine->GetPageQueue.clear(); // the services' own pages are not part of this
        engine->QueueForGetPage(c.address, 99);

        EXPECT_TRUE(lumi::test::waitUntil([&] { return !engine->Searching; }, DoneBoundMs));
        std::vector<std::string> rows(engine->FoundList.begin(), engine->FoundList.end());
        std::sort(rows.begin(), rows.end());
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(engine->display().statusText, "Done");
        EXPECT_FALSE(engine->display().abortButtonVisible);
        EXPECT_EQ(engine->display().processesText, "0");
        EXPECT_EQ(engine->resultPagesAnswered(), 0u) << "no service listens on port 1";
    }
}
