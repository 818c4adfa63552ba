#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/EventLoopWait.h"
#include "common/Peers.h"
#include "net/WSockbuf.h"
#include "net/WSocket.h"

using lumi::test::spinFor;
using lumi::test::waitUntil;

namespace {

// A listener on 127.0.0.1 that adopts every caller into its own TWSocket.
struct Listener {
    TWSocket socket;
    std::vector<std::unique_ptr<TWSocket>> peers;
    std::function<void(TWSocket&)> onPeer;
    Listener() {
        socket.setAddr("127.0.0.1");
        socket.setPort("0");
        socket.OnSessionAvailable = [this](TWSocket* s, int) {
            const int fd = s->Accept();
            if (fd < 0) return;
            peers.push_back(std::make_unique<TWSocket>());
            if (onPeer) onPeer(*peers.back());
            peers.back()->Dup(fd);
        };
        socket.Listen();
    }
    std::string port() const { return socket.GetXPort(); }
};

TEST(SendBuffers, BlocksFillReuseAndChain) {
    lumi::SendBlock zero(0);
    EXPECT_EQ(zero.size(), 1514u);
    lumi::SendBlock negative(-5);
    EXPECT_EQ(negative.size(), 1514u);

    lumi::SendBlock b(8);
    EXPECT_EQ(b.write("abcdef", 6), 6u);
    EXPECT_EQ(b.write("ghijk", 5), 2u); // only what fits
    EXPECT_EQ(b.peek(), "abcdefgh");
    b.remove(3);
    EXPECT_EQ(b.peek(), "defgh");
    EXPECT_EQ(b.write("x", 1), 0u); // full behind the write count
    b.remove(5);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.write("12345678", 8), 8u); // both counts back at 0: reused whole

    lumi::SendBufferChain chain;
    const std::string data(4000, 'z');
    chain.append(data.data(), data.size());
    EXPECT_EQ(chain.blockCount(), 3u); // 1514 + 1514 + 972
    size_t total = 0;
    while (lumi::SendBlock* f = chain.first()) {
        total += f->peek().size();
        f->remove(f->peek().size());
        if (chain.blockCount() == 1) break;
        chain.dropFirstIfDone();
    }
    EXPECT_EQ(total, 4000u);
    EXPECT_TRUE(chain.empty());
}

TEST(SocketErrors, ClassicTextsAndErrnoTranslation) {
    EXPECT_EQ(lumi::socketErrorText(10061), "Connection refused");
    EXPECT_EQ(lumi::socketErrorText(11001), "Host not found");
    EXPECT_EQ(lumi::socketErrorText(10057), "Socket is not connected");
    EXPECT_EQ(lumi::socketErrorText(0), "No Error");
    EXPECT_EQ(lumi::socketErrorText(12345), "Not a WinSock error");
    EXPECT_EQ(lumi::socketErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(lumi::socketErrorFromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(lumi::socketErrorFromErrno(EAGAIN), 10035);
    EXPECT_EQ(lumi::socketErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(lumi::socketErrorFromErrno(EPIPE), 10054);
}

TEST(WSocket, DnsLookupOfDottedAddressCompletesBeforeReturning) {
    TWSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TWSocket*, int e) { done.push_back(e); };
    s.DnsLookup("127.1");
    ASSERT_EQ(done, std::vector<int>{0});
    EXPECT_EQ(s.DnsResult(), "127.0.0.1");

    // An empty name is an error: raised without OnError, absorbed and reported with it.
    EXPECT_THROW(s.DnsLookup(""), ESocketException);
    int errors = 0;
    s.OnError = [&](TWSocket*) { ++errors; };
    s.DnsLookup("");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(done.back(), 10022);
    EXPECT_EQ(s.DnsResult(), "");
}

TEST(WSocket, CancelledLookupReportsInterruptedCall) {
    TWSocket s;
    std::vector<int> done;
    s.OnDnsLookupDone = [&](TWSocket*, int e) { done.push_back(e); };
    s.DnsLookup("lookup-cancelled.invalid");
    EXPECT_TRUE(done.empty());
    s.CancelDnsLookup();
    ASSERT_EQ(done, std::vector<int>{10004});
    lumi::test::spinFor(200);
    EXPECT_EQ(done.size(), 1u); // the cancelled result never arrives
}

// The message of the ESocketException that Connect raises, or "" when it raises none.
std::string connectError(TWSocket& s) {
    try {
        s.Connect();
    } catch (const ESocketException& e) {
        return e.what();
    }
    return {};
}

TEST(WSocket, ConnectMisuseMessages) {
    TWSocket s;
    EXPECT_EQ(connectError(s), "Connect: No Port Specified");
    s.setPort("80");
    EXPECT_EQ(connectError(s), "Connect: No IP Address Specified");
    s.setAddr("300.1.2.3");
    EXPECT_EQ(connectError(s), "connect: WSocketResolveHost: '300.1.2.3' Invalid IP address.");
    s.setAddr("127.0.0.1");
    s.setPort("http-nonsense-service");
    EXPECT_EQ(connectError(s),
              "connect: WSocketResolvePort: Cannot convert port 'http-nonsense-service'");
    s.setPort("80");
    s.setProto("");
    EXPECT_EQ(connectError(s), "Connect: No Protocol Specified");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocket, ConversationEventsAndOrders) {
    Listener server;
    std::string serverGot;
    server.onPeer = [&](TWSocket& p) {
        p.OnDataAvailable = [&serverGot](TWSocket* me, int) { serverGot += me->ReceiveStr(); };
    };

    TWSocket s;
    std::vector<std::string> log;
    s.OnChangeState = [&](TWSocket*, TSocketState o, TSocketState n) {
        log.push_back("state " + std::to_string(o) + ">" + std::to_string(n));
    };
    s.OnSessionConnected = [&](TWSocket*, int e) {
        log.push_back("connected " + std::to_string(e));
    };
    s.OnDataSent = [&](TWSocket*, int e) { log.push_back("sent " + std::to_string(e)); };
    s.OnSessionClosed = [&](TWSocket*, int e) { log.push_back("closed " + std::to_string(e)); };
    s.setAddr("127.0.0.1");
    s.setPort(server.port());
    s.Connect();
    EXPECT_EQ(s.State(), wsConnecting);

    // Sending before the connection is up fails with "Socket is not connected".
    try {
        s.SendStr("early");
        FAIL();
    } catch (const ESocketException& e) {
        EXPECT_NE(std::string(e.what()).find("Error 10057 in function Send"), std::string::npos);
    }
    EXPECT_EQ(s.LastError(), 10057);

    s.setAddr("127.0.0.1");
    s.setPort(server.port());
    s.Connect();
    ASSERT_TRUE(waitUntil([&] { return s.State() == wsConnected; }));
    EXPECT_THROW(s.setPort("81"), ESocketException);
    EXPECT_NO_THROW(s.setPort(" " + server.port())); // the same value is no change
    int noDelay = 0;
    socklen_t noDelayLen = sizeof noDelay;
    getsockopt(s.HSocket(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &noDelayLen);
    EXPECT_EQ(noDelay, 1) << "small writes go at once";

    log.clear();
    EXPECT_EQ(s.SendStr("hello"), 5);
    EXPECT_TRUE(log.empty()); // never from inside Send
    ASSERT_TRUE(waitUntil([&] { return serverGot == "hello"; }));
    ASSERT_TRUE(waitUntil([&] { return !log.empty(); }));
    lumi::test::spinFor(50);
    EXPECT_EQ(log, std::vector<std::string>{"sent 0"});

    // A large send is paced by write notifications and still ends in one OnDataSent.
    log.clear();
    const std::string big(4 << 20, 'b');
    serverGot.clear();
    EXPECT_EQ(s.SendStr(big), static_cast<int>(big.size()));
    ASSERT_TRUE(waitUntil([&] { return serverGot.size() == big.size(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return !log.empty(); }));
    lumi::test::spinFor(50);
    EXPECT_EQ(log, std::vector<std::string>{"sent 0"});
    EXPECT_EQ(serverGot, big);

    log.clear();
    s.Close();
    s.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"state 4>7", "closed 0"}));
    EXPECT_EQ(s.Addr(), ""); // defaults restored: Addr and Port must be set again
    EXPECT_EQ(s.Port(), "");
}

TEST(WSocket, RefusedConnectReportsThenCloses) {
    const int closedPort = lumi::test::freeLoopbackPort();
    TWSocket s;
    std::vector<std::string> log;
    s.OnSessionConnected = [&](TWSocket*, int e) {
        log.push_back("connected " + std::to_string(e));
    };
    s.OnSessionClosed = [&](TWSocket*, int e) { log.push_back("closed " + std::to_string(e)); };
    s.setAddr("127.0.0.1");
    s.setPort(std::to_string(closedPort));
    s.Connect();
    ASSERT_TRUE(waitUntil([&] { return log.size() >= 2; }));
    EXPECT_EQ(log, (std::vector<std::string>{"connected 10061", "closed 0"}));
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocket, PeerCloseDeliversWaitingDataFirst) {
    Listener server;
    server.onPeer = [](TWSocket& p) {
        p.OnSessionConnected = nullptr;
        p.OnDataAvailable = [](TWSocket* me, int) { me->ReceiveStr(); };
    };
    TWSocket s;
    std::vector<std::string> log;
    std::string got;
    s.OnDataAvailable = [&](TWSocket* me, int) {
        char buf[7];
        const int n = me->Receive(buf, sizeof buf);
        if (n > 0) {
            got.append(buf, static_cast<size_t>(n));
            log.push_back("data");
        }
    };
    s.OnSessionClosed = [&](TWSocket*, int e) { log.push_back("closed " + std::to_string(e)); };
    s.setAddr("127.0.0.1");
    s.setPort(server.port());
    s.Connect();
    ASSERT_TRUE(waitUntil([&] { return !server.peers.empty() && s.State() == wsConnected; }));
    // The peer writes and closes at once; the small reads need several loop rounds.
    server.peers[0]->SendStr("0123456789abcdefghij");
    ASSERT_TRUE(waitUntil([&] { return server.peers[0]->RcvdCount() == 0; }));
    lumi::test::spinFor(20);
    server.peers[0]->Close();
    ASSERT_TRUE(waitUntil([&] { return !log.empty() && log.back().rfind("closed", 0) == 0; }));
    EXPECT_EQ(got, "0123456789abcdefghij");
    EXPECT_EQ(log.back(), "closed 0");
    EXPECT_EQ(std::count(log.begin(), log.end(), "closed 0"), 1);
    EXPECT_EQ(s.ReadCount(), 0); // counts restored by the close
}

TEST(WSocket, ConnectionMadeInsideTheCloseEventSurvives) {
    // The handler of a peer's close connects anew. The system hands out the released
    // descriptor number again, and the new connection must not be taken for the old one.
    Listener server;
    TWSocket s;
    int closed = 0;
    int oldHandle = -1;
    int newHandle = -2;
    std::string got;
    s.OnDataAvailable = [&](TWSocket* me, int) { got += me->ReceiveStr(); };
    s.OnSessionClosed = [&](TWSocket* me, int) {
        if (++closed > 1) return;
        oldHandle = me->HSocket();
        me->Close();
        me->setAddr("127.0.0.1");
        me->setPort(server.port());
        me->Connect();
        newHandle = me->HSocket();
    };
    s.setAddr("127.0.0.1");
    s.setPort(server.port());
    s.Connect();
    ASSERT_TRUE(waitUntil([&] { return server.peers.size() == 1 && s.State() == wsConnected; }));
    server.peers[0]->Close();
    ASSERT_TRUE(waitUntil([&] { return server.peers.size() == 2 && s.State() == wsConnected; }));
    EXPECT_EQ(newHandle, oldHandle); // the case this guards against
    server.peers[1]->SendStr("still here");
    ASSERT_TRUE(waitUntil([&] { return got == "still here"; }));
    lumi::test::spinFor(30);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(s.State(), wsConnected);
}

TEST(WSocket, PeerResetIsReportedAsClose) {
    Listener server;
    TWSocket s;
    std::vector<int> closed;
    s.OnDataAvailable = [](TWSocket* me, int) { me->ReceiveStr(); };
    s.OnSessionClosed = [&](TWSocket*, int e) { closed.push_back(e); };
    s.setAddr("127.0.0.1");
    s.setPort(server.port());
    s.Connect();
    ASSERT_TRUE(waitUntil([&] { return !server.peers.empty() && s.State() == wsConnected; }));
    // A spare descriptor outlives the socket's own close; closing it with lingering on and
    // time-out 0 then resets the connection without a FIN.
    const int spare = ::dup(server.peers[0]->HSocket());
    server.peers[0]->Abort();
    linger l{1, 0};
    setsockopt(spare, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(spare);
    ASSERT_TRUE(waitUntil([&] { return !closed.empty(); }));
    spinFor(30);
    EXPECT_EQ(closed, std::vector<int>{10054});
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocket, LineModeHandsOutWholeLines) {
    Listener server;
    TWSocket s;
    std::vector<std::string> lines;
    bool closed = false;
    s.setLineMode(true);
    s.setLineEnd("\n");
    s.OnDataAvailable = [&](TWSocket* me, int) { lines.push_back(me->ReceiveStr()); };
    s.OnSessionClosed = [&](TWSocket*, int) { closed = true; };
    s.setAddr("127.0.0.1");
    s.setPort(server.port());
    s.Connect();
    ASSERT_TRUE(waitUntil([&] { return !server.peers.empty() && s.State() == wsConnected; }));
    server.peers[0]->SendStr("one\ntwo\nthr");
    ASSERT_TRUE(waitUntil([&] { return lines.size() == 2; }));
    lumi::test::spinFor(30);
    EXPECT_EQ(lines, (std::vector<std::string>{"one\n", "two\n"}));
    server.peers[0]->SendStr("ee\npartial");
    ASSERT_TRUE(waitUntil([&] { return lines.size() == 3; }));
    EXPECT_EQ(lines[2], "three\n");
    server.peers[0]->Close();
    ASSERT_TRUE(waitUntil([&] { return closed; }));
    ASSERT_EQ(lines.size(), 4u); // the partial line is offered before the close
    EXPECT_EQ(lines[3], "partial");
}

TEST(WSocket, ExceptionInHandlerGoesToBgExceptionAndAborts) {
    Listener server;
    TWSocket s;
    int bg = 0;
    std::string message;
    s.OnSessionConnected = [](TWSocket*, int) { throw std::runtime_error("handler failed"); };
    s.OnBgException = [&](TWSocket*, const std::exception& e, bool& canClose) {
        ++bg;
        message = e.what();
        EXPECT_TRUE(canClose);
    };
    s.setAddr("127.0.0.1");
    s.setPort(server.port());
    s.Connect();
    ASSERT_TRUE(waitUntil([&] { return bg == 1; }));
    EXPECT_EQ(message, "handler failed");
    EXPECT_EQ(s.State(), wsClosed);
}

TEST(WSocket, DestroyedInsideItsOwnEventStaysQuiet) {
    Listener server;
    auto s = std::make_unique<TWSocket>();
    int after = 0;
    s->OnSessionConnected = [&](TWSocket*, int) { s.reset(); };
    s->OnSessionClosed = [&](TWSocket*, int) { ++after; };
    s->OnChangeState = [&](TWSocket*, TSocketState, TSocketState) {
        if (!s) ++after;
    };
    s->setAddr("127.0.0.1");
    s->setPort(server.port());
    s->Connect();
    ASSERT_TRUE(waitUntil([&] { return !s; }));
    lumi::test::spinFor(50);
    EXPECT_EQ(after, 0);
}

} // namespace
