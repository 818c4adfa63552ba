// Kept connections: which answers leave a connection for the next request, the retry when a
// server closes one under a request, the pool's bounds and keys, cut bodies, late answers.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/Clock.h"
#include "common/EventLoopWait.h"
#include "net/ConnectionPool.h"
#include "net/HttpProt.h"
#include "net/ScriptedServer.h"
#include "net/TlsPeers.h"

using lumi::ConnectionPool;
using lumi::test::httpResponse;
using lumi::test::ScriptedReply;
using lumi::test::scriptedReply;
using lumi::test::ScriptedServer;
using lumi::test::waitUntil;
using Strings = std::vector<std::string>;
using Ending = ScriptedReply::Ending;

namespace {

const std::string keptOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
std::string keptAnswer(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct Outcome {
    std::string body;
    int error = -1;
    int status = 0;
    std::string reason;
};

// One GET through the pool, as the engine makes it: prepared before the start, its
// connection given back when it is done.
Outcome pooledGet(ConnectionPool& pool, const std::string& url,
                  const std::function<void(THttpCli&)>& setUp = {}) {
    THttpCli cli;
    Outcome outcome;
    bool done = false;
    cli.URL = url;
    if (setUp) setUp(cli);
    cli.OnDocData = [&](THttpCli*, const char* data, int len) { outcome.body.append(data, len); };
    cli.OnRequestDone = [&](THttpCli* sender, THttpRequest, int error) {
        pool.recycle(*sender);
        outcome.error = error;
        outcome.status = sender->StatusCode();
        outcome.reason = sender->ReasonPhrase();
        done = true;
    };
    pool.prepare(cli);
    cli.StartGet();
    EXPECT_TRUE(waitUntil([&] { return done; }));
    return outcome;
}

} // namespace

TEST(KeptConnections, ReusedOnlyWhereTheAnswerEndsAndTheServerAgrees) {
    const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    struct Case {
        const char* name;
        Strings chunks;
        Ending ending;
        std::string body;
        int error;
        bool kept;
    };
    const std::vector<Case> cases = {
        {"length, in two blocks",
         {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel", "lo"}, Ending::KeepAlive, "hello", 0,
         true},
        {"chunked with extensions and a trailer",
         {chunkedHead + "5\r\nhel", "lo\r\n6;x=1\r\n worl", "d\r\n0\r\nExpires: 0\r\n\r\n"},
         Ending::KeepAlive, "hello world", 0, true},
        {"chunked with the header in one block",
         {chunkedHead + "2\r\nok\r\n0\r\n\r\n"}, Ending::KeepAlive, "ok", 0, true},
        {"Connection: close",
         {"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nok"},
         Ending::KeepAlive, "ok", 0, false},
        {"HTTP/1.0", {"HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok"}, Ending::KeepAlive, "ok",
         0, false},
        {"HTTP/1.0 with keep-alive",
         {"HTTP/1.0 200 OK\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\nok"},
         Ending::KeepAlive, "ok", 0, true},
        {"204", {"HTTP/1.1 204 No Content\r\n\r\n"}, Ending::KeepAlive, "", 0, true},
        {"304 with a length of what it would be",
         {"HTTP/1.1 304 Not Modified\r\nContent-Length: 99\r\n\r\n"}, Ending::KeepAlive, "", 0,
         true},
        {"an interim answer first",
         {"HTTP/1.1 100 Continue\r\n\r\n", keptOk}, Ending::KeepAlive, "ok", 0, true},
        {"no length: the close ends it", {"HTTP/1.1 200 OK\r\n\r\nuntil close"}, Ending::Close,
         "until close", 0, false},
        {"bytes after the length", {keptOk + "HTTP/1.1 200 OK\r\n\r\n"}, Ending::KeepAlive, "ok",
         0, false},
        {"bytes after the last chunk", {chunkedHead + "0\r\n\r\nHTTP/1.1"}, Ending::KeepAlive, "",
         0, false},
        {"broken chunk size", {chunkedHead + "zz\r\n"}, Ending::KeepAlive, "",
         lumi::httpDecodeError, false},
    };
    for (const Case& c : cases) {
        ScriptedServer server;
        server.respond = [&c](const std::string&, int index) {
            return index == 0 ? scriptedReply(c.chunks, c.ending)
                              : scriptedReply({keptOk}, Ending::KeepAlive);
        };
        ConnectionPool pool;
        const Outcome first = pooledGet(pool, server.url("/a"));
        EXPECT_EQ(first.body, c.body) << c.name;
        EXPECT_EQ(first.error, c.error) << c.name;
        EXPECT_EQ(pool.idle(), c.kept ? 1u : 0u) << c.name;
        const Outcome second = pooledGet(pool, server.url("/b"));
        EXPECT_EQ(second.body, "ok") << c.name;
        ASSERT_EQ(server.requests().size(), 2u) << c.name;
        EXPECT_EQ(server.requests()[0].rfind("GET /a HTTP/1.1\r\n", 0), 0u) << c.name;
        EXPECT_EQ(server.requestConnections()[1], c.kept ? 1 : 2) << c.name;
    }
}

// A server may close a kept connection just as a request goes out on it: the request goes
// once more over a new connection, and only once.
TEST(KeptConnections, AConnectionClosedUnderARequestIsReplacedOnce) {
    struct Case {
        const char* name;
        int closedAnswers; // requests after the first that the server closes without a byte
        bool answered;
    };
    for (const Case& c : {Case{"closed once", 1, true}, Case{"closed twice", 2, false}}) {
        ScriptedServer server;
        server.respond = [&c](const std::string&, int index) {
            if (index >= 1 && index <= c.closedAnswers) return scriptedReply({}, Ending::Close);
            return scriptedReply({keptOk}, Ending::KeepAlive);
        };
        ConnectionPool pool;
        pooledGet(pool, server.url("/"));
        ASSERT_EQ(pool.idle(), 1u) << c.name;
        const Outcome retried = pooledGet(pool, server.url("/"));
        EXPECT_EQ(retried.body, c.answered ? "ok" : "") << c.name;
        EXPECT_EQ(retried.status, c.answered ? 200 : 0) << c.name;
        EXPECT_EQ(server.requests().size(), 3u) << c.name;
        EXPECT_EQ(server.accepted(), 2) << c.name;
    }
}

TEST(KeptConnections, ThePoolKeepsItsBoundAPlaceAndClosesThemAfterFifteenIdleSeconds) {
    ScriptedServer server;
    server.respond = [](const std::string&, int) {
        return scriptedReply({keptOk}, Ending::KeepAlive);
    };
    uint32_t now = 1000;
    lumi::setTickSource([&now] { return now; });
    ConnectionPool pool;
    {
        // Two more at once than the bound: as many connections, of which the bound is kept.
        std::vector<std::unique_ptr<THttpCli>> clients;
        const int opened = ConnectionPool::MostIdlePerPlace + 2;
        int done = 0;
        for (int i = 0; i < opened; ++i) {
            clients.push_back(std::make_unique<THttpCli>());
            clients.back()->URL = server.url("/");
            clients.back()->OnRequestDone = [&](THttpCli* sender, THttpRequest, int) {
                pool.recycle(*sender);
                ++done;
            };
            pool.prepare(*clients.back());
            clients.back()->StartGet();
        }
        ASSERT_TRUE(waitUntil([&] { return done == opened; }));
    }
    EXPECT_EQ(server.accepted(), static_cast<int>(ConnectionPool::MostIdlePerPlace) + 2);
    EXPECT_EQ(pool.idle(), ConnectionPool::MostIdlePerPlace);
    now += ConnectionPool::IdleLimitMs - 1;
    pool.closeStale();
    EXPECT_EQ(pool.idle(), ConnectionPool::MostIdlePerPlace);
    now += 1;
    pool.closeStale();
    EXPECT_EQ(pool.idle(), 0u);
    EXPECT_TRUE(waitUntil([&] { return server.closedByPeer() == server.accepted(); }));
    lumi::setTickSource({});
}

// A body ends only at its last chunk, over http and over https without close_notify; and a
// late answer on a kept connection never becomes the answer to the next request: sent in the
// same write as the first, or waiting when the next request starts (after 1 or 20 ms of
// nobody reading, or while the pool watches: wait < 0), or longer than a header line may be.
TEST(KeptConnections, CutBodiesFailAndLateAnswersNeverAnswerTheNextRequest) {
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string cut = "Broken chunked body: cut short", late = keptAnswer("late");
    const struct Case {
        std::string first, reason, lateAnswer = {};
        bool tls = false;
        int waitMs = 0;
    } cases[] = {
        {chunked + "9\r\n\xFF\xD8\xFF", cut}, {chunked + "3\r\nabc\r\n", cut},
        {chunked + "7ffffffffffffff0\r\nabc", cut}, {chunked + "9\r\n\xFF\xD8", cut, "", true},
        {chunked + "3\r\nabc\r\n", cut, "", true}, {keptOk + late, "OK"},
        {keptOk, "OK", late, false, 1}, {keptOk, "OK", late, false, 20},
        {keptOk, "OK", late, false, -20}, {keptOk, "OK", keptAnswer(std::string(9000, 'z')), false, 1},
        {keptOk, "OK", late, true, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first.substr(c.first.size() - 7) + " late " + c.lateAnswer.substr(0, 20) +
                     " tls " + std::to_string(c.tls) + " wait " + std::to_string(c.waitMs));
        ConnectionPool pool;
        ScriptedServer server;
        server.respond = [&c, &cut](const std::string&, int index) {
            if (index == 0) return scriptedReply({c.first}, c.reason == cut ? Ending::Close : Ending::KeepAlive);
            return scriptedReply({keptAnswer("next")}, Ending::KeepAlive);
        };
        lumi::test::TlsCutEnding ending;
        ending.late = c.lateAnswer; // over TLS 100 ms after the first answer
        lumi::test::TlsCutServer tls(lumi::test::runCertificates(), c.first, ending);
        const std::string url = c.tls ? "https://localhost:" + std::to_string(tls.port()) + "/"
                                      : server.url("/");
        const Outcome first = pooledGet(pool, url);
        EXPECT_EQ(first.error, c.reason == "OK" ? 0 : lumi::httpShortBodyError);
        EXPECT_EQ(first.reason, c.reason);
        if (c.lateAnswer.empty()) continue;
        if (!c.tls) server.sendNow(1, c.lateAnswer);
        if (c.waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(c.waitMs));
        if (c.waitMs < 0) lumi::test::spinFor(-c.waitMs);
        EXPECT_TRUE(pooledGet(pool, url).body == (c.tls ? "ok" : "next"));
        EXPECT_EQ(c.tls ? tls.fullHandshakes + tls.resumedHandshakes : server.accepted(), 2);
    }
}

// Through a proxy the key holds a digest of its login: a changed login takes a new
// connection, and the secret is nowhere in the key.
TEST(KeptConnections, AChangedProxyLoginTakesANewConnection) {
    ScriptedServer proxy;
    proxy.respond = [](const std::string&, int) { return scriptedReply({keptOk}, Ending::KeepAlive); };
    ConnectionPool pool;
    const Strings logins = {"ann:secret1", "ann:secret1", "ann:secret2", "bob:secret2", ":"};
    for (const std::string& login : logins)
        pooledGet(pool, "http://origin.example/x", [&](THttpCli& cli) {
            cli.Proxy = "127.0.0.1:" + std::to_string(proxy.port());
            cli.ProxyUsername = login.substr(0, login.find(':'));
            cli.ProxyPassword = login.substr(login.find(':') + 1);
            EXPECT_EQ(cli.ConnectionKey().find("secret"), std::string::npos);
        });
    EXPECT_EQ(proxy.requestConnections(), (std::vector<int>{1, 1, 2, 3, 4}));
}
