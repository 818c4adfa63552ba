// An HTTP/2 connection over a loopback socket to a server thread: a batch wider than the
// streams one connection may open goes through as streams free, and a server that leaves
// mid-batch ends every stream still open.
#include "net/H2Connection.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "H2ServerPeer.h"
#include "common/EventLoopWait.h"

namespace {

struct Picture : lumi::H2StreamHandler {
    std::string body;
    bool ended = false;
    lumi::H2StreamEnd end{};
    void onHeaders(int, const std::vector<lumi::H2Header>&) override {}
    void onData(std::string_view data) override { body += data; }
    void onEnd(lumi::H2StreamEnd e, const std::string&) override { ended = true, end = e; }
};

// The connection takes the socket over in its connect event, as the pool will: bytes the
// server sends first (its SETTINGS) are not read before it holds the socket.
std::unique_ptr<lumi::H2Connection> connectTo(int port) {
    auto socket = std::make_unique<TWSocket>();
    std::unique_ptr<lumi::H2Connection> connection;
    int error = -1;
    socket->OnSessionConnected = [&](TWSocket*, int e) {
        error = e;
        if (e == 0) connection = std::make_unique<lumi::H2Connection>(std::move(socket));
    };
    socket->setAddr("127.0.0.1");
    socket->setPort(std::to_string(port));
    socket->Connect();
    EXPECT_TRUE(lumi::test::waitUntil([&] { return error != -1; }));
    EXPECT_EQ(error, 0);
    return connection;
}

} // namespace

TEST(H2Connection, CarriesABatchWiderThanItsStreamsAndEndsThemWhenTheServerLeaves) {
    constexpr size_t kPictures = 250;
    std::map<std::string, lumi::test::Answer> answers;
    for (size_t i = 0; i < kPictures; ++i) answers["/p" + std::to_string(i)] = {200, 1000 + i * 37};
    for (const int closeAfter : {-1, 120}) {
        SCOPED_TRACE(closeAfter);
        lumi::test::LoopbackH2Server server(answers, closeAfter);
        const auto owned = connectTo(server.port());
        ASSERT_TRUE(owned);
        lumi::H2Connection& connection = *owned;
        std::vector<Picture> pictures(kPictures);
        size_t next = 0, mostOpen = 0;
        bool finished = false;
        const auto submitWaiting = [&] {
            for (; next < kPictures && connection.canSubmit(); ++next)
                connection.submit({"GET", "https", "pics.example", "/p" + std::to_string(next), {}},
                                  pictures[next]);
            mostOpen = std::max(mostOpen, connection.openStreams());
        };
        connection.OnStreamFreed = [&](lumi::H2Connection*) { submitWaiting(); };
        connection.OnFinished = [&](lumi::H2Connection*) { finished = true; };
        submitWaiting();
        const auto allEnded = [&] {
            return std::all_of(pictures.begin(), pictures.begin() + long(next),
                               [](const Picture& p) { return p.ended; });
        };
        ASSERT_TRUE(lumi::test::waitUntil([&] { return finished || (next == kPictures && allEnded()); }, 20000));
        EXPECT_TRUE(allEnded());
        EXPECT_EQ(mostOpen, lumi::H2MostStreams);
        size_t complete = 0;
        for (size_t i = 0; i < next; ++i) {
            if (pictures[i].end != lumi::H2StreamEnd::Complete) continue;
            ++complete;
            EXPECT_EQ(pictures[i].body, lumi::test::pattern(1000 + i * 37)) << i;
        }
        if (closeAfter < 0) {
            EXPECT_EQ(complete, kPictures);
        } else {
            EXPECT_TRUE(finished);
            EXPECT_GT(complete, 0u);
            EXPECT_LT(complete, next) << "the streams open when the server left end as lost";
        }
    }
}
