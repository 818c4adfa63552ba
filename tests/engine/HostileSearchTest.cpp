// A search over a web of dead hosts, refused ports, error answers cut short, relocations
// (slow, unfollowable, a moved page) and empty pictures, run by the engine's own timers: the
// rows listed, and how soon the search has nothing left to do and says "Done". Work that held
// its slot until the 30 s time-out would miss the bound by far.
#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/EventLoopWait.h"
#include "net/ScriptedServer.h"

using lumi::test::EngineUnderTest;
using lumi::test::waitUntil;

namespace {

// Bound of a search from its page to "Done" (2 s of it are the idle rule); the 30 s time-out
// is far beyond it.
constexpr int IdleBoundMs = 6000;

// The web of the cases: pictures, relocations and one page whose text each case sets.
class HostileWeb {
public:
    HostileWeb() {
        server_.Get("/page.htm", [this](const httplib::Request&, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            res.set_content(page_, "text/html");
        });
        server_.Get(R"(/img/(\d+)\.jpg)", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(std::string(std::stoul(req.matches[1].str()), 'i'), "image/jpeg");
        });
        server_.Get(R"(/moved/(\d+)\.jpg)", [](const httplib::Request& req, httplib::Response& res) {
            res.set_redirect("/slow/" + req.matches[1].str() + ".jpg", 302);
        });
        server_.Get(R"(/slow/(\d+)\.jpg)", [](const httplib::Request& req, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            res.set_content(std::string(std::stoul(req.matches[1].str()), 's'), "image/jpeg");
        });
        server_.Get(R"(/away/\d+\.jpg)", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("ftp://127.0.0.1/x.jpg", 302);
        });
        server_.Get("/old/index.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/new/place/index.html", 302);
        });
        server_.Get("/new/place/index.html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><img src=\"pics/x.jpg\"></html>", "text/html");
        });
        server_.Get("/new/place/pics/x.jpg", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(30000, 'x'), "image/jpeg");
        });
        server_.Get("/zero.jpg", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("", "image/jpeg");
        });
        server_.new_task_queue = [] { return new httplib::ThreadPool(32); };
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 5000 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~HostileWeb() {
        server_.stop();
        thread_.join();
    }
    void setPage(std::string page) {
        std::lock_guard<std::mutex> lock(mutex_);
        page_ = std::move(page);
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    httplib::Server server_;
    std::thread thread_;
    std::mutex mutex_;
    std::string page_;
    int port_ = 0;
};

std::string images(const std::vector<std::string>& addresses) {
    std::string page = "<html>\r\n";
    for (const std::string& address : addresses)
        page += "<img src=\"" + address + "\">\r\n";
    return page;
}

} // namespace

TEST(HostileSearch, EveryRequestFreesItsSlotWhenItEndsAndTheSearchSaysDone) {
    HostileWeb web;
    lumi::test::ScriptedServer split; // a 404 whose header comes in two pieces
    split.respond = [](const std::string&, int) {
        return lumi::test::scriptedReply(
            {"HTTP/1.0 404 Not Found\r\n", "Content-Type: text/html\r\n\r\nnot here"});
    };
    const std::string good = web.url("/img/25000.jpg"), good2 = web.url("/img/26000.jpg");
    std::vector<std::string> deadHosts{good, good2}, refused{good}, splitErrors{good},
        slow, unfollowable{good};
    for (int i = 0; i < 30; ++i) {
        deadHosts.push_back("http://no-such-host-" + std::to_string(i) + ".invalid/p.jpg");
        refused.push_back("http://127.0.0.1:1/r" + std::to_string(i) + ".jpg");
        splitErrors.push_back(split.url("/e" + std::to_string(i) + ".jpg"));
        unfollowable.push_back(web.url("/away/" + std::to_string(i) + ".jpg"));
    }
    std::vector<std::string> slowRows;
    for (int i = 0; i < 5; ++i) {
        slow.push_back(web.url("/moved/" + std::to_string(20000 + i) + ".jpg"));
        slowRows.push_back(slow.back());
    }
    deadHosts.push_back(good2);

    struct Case {
        const char* name;
        std::string page;        // the text of /page.htm
        std::string pageAddress; // the page the search is led to
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"dead hosts", images(deadHosts), web.url("/page.htm"), {good, good2}},
        {"refused port", images(refused), web.url("/page.htm"), {good}},
        {"split 4xx header", images(splitErrors), web.url("/page.htm"), {good}},
        {"relocation to a slow target", images(slow), web.url("/page.htm"), slowRows},
        {"relocation that cannot be followed", images(unfollowable), web.url("/page.htm"), {good}},
        {"moved page", "", web.url("/old/index.html"), {web.url("/new/place/pics/x.jpg")}},
        {"zero length", images({web.url("/zero.jpg"), good}), web.url("/page.htm"), {good}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        web.setPage(c.page);
        EngineUnderTest engine;
        for (QTimer* timer : {engine->Timer1, engine->Timer2, engine->Timer3, engine->Timer4,
                              engine->Timer5})
            timer->start();
        engine->SearchButtonClick("x");
        engine->GetPageQueue.clear(); // the services' own pages are not part of this
        engine->QueueForGetPage(c.pageAddress, 99);

        EXPECT_TRUE(waitUntil([&] { return !engine->Searching; }, IdleBoundMs));
        std::vector<std::string> rows(engine->FoundList.begin(), engine->FoundList.end());
        std::sort(rows.begin(), rows.end());
        std::vector<std::string> expected = c.rows;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(rows, expected);
        EXPECT_EQ(engine->display().statusText, "Done");
        EXPECT_FALSE(engine->display().abortButtonVisible);
        EXPECT_EQ(engine->display().processesText, "0");
    }
}
