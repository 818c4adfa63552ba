// The HTTP/2 client session against the frames a server sends, well-behaved and hostile,
// written out byte by byte (HPACK literals, so no table state); and an HTTP/2 connection over
// a loopback socket to nginx speaking HTTP/2 from the first byte.
#include "net/H2Connection.h"
#include "net/H2Session.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <nghttp2/nghttp2.h>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "common/EventLoopWait.h"
#include "common/Peers.h"

namespace {

using lumi::H2StreamEnd;

std::string frame(uint8_t type, uint8_t flags, uint32_t stream, const std::string& payload) {
    const auto n = uint32_t(payload.size());
    std::string f = {char(n >> 16),      char(n >> 8),      char(n),
                     char(type),         char(flags),       char(stream >> 24),
                     char(stream >> 16), char(stream >> 8), char(stream)};
    return f + payload;
}
std::string u32(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

std::string repeated(const std::string& s, int n) {
    std::string out;
    while (n-- > 0)
        out += s;
    return out;
}

// An HPACK string length (7-bit prefix integer) and a field without indexing, new name.
std::string length(size_t v) {
    if (v < 127) return {char(v)};
    std::string out = {char(127)};
    for (v -= 127; v >= 128; v /= 128)
        out += char(v % 128 + 128);
    return out + char(v);
}
std::string field(const std::string& name, const std::string& value) {
    return std::string(1, '\0') + length(name.size()) + name + length(value.size()) + value;
}

// A header block in HEADERS and CONTINUATION frames of at most 16 KB.
std::string headers(uint32_t stream, const std::string& block, bool endStream) {
    std::string out;
    for (size_t at = 0; at < block.size(); at += 16384) {
        const bool first = at == 0, last = at + 16384 >= block.size();
        out += frame(first ? NGHTTP2_HEADERS : NGHTTP2_CONTINUATION,
                     uint8_t((last ? NGHTTP2_FLAG_END_HEADERS : 0) |
                             (first && endStream ? NGHTTP2_FLAG_END_STREAM : 0)),
                     stream, block.substr(at, 16384));
    }
    return out;
}

// A picture's answer: its status, its type, a body of `size` bytes in 16 KB DATA frames.
std::string answer(uint32_t stream, int status, size_t size, size_t bigFields = 0) {
    std::string block =
        field(":status", std::to_string(status)) + field("content-type", "image/jpeg");
    if (bigFields)
        block += field("x-big", std::string(bigFields, 'v')) +
                 field("x-big-too", std::string(bigFields, 'v'));
    std::string out = headers(stream, block, size == 0);
    const std::string body(size, 'p');
    for (size_t at = 0; at < size; at += 16384)
        out += frame(NGHTTP2_DATA, at + 16384 >= size ? NGHTTP2_FLAG_END_STREAM : 0, stream,
                     body.substr(at, 16384));
    return out;
}

struct Recorder : lumi::H2StreamHandler {
    lumi::H2Session* session = nullptr;
    int32_t id = 0;
    bool cancelAtHeader = false;
    int status = 0, ends = 0;
    std::string contentType, body, text;
    H2StreamEnd end{};
    void onHeaders(int s, const std::vector<lumi::H2Header>& fields) override {
        status = s;
        for (const auto& h : fields)
            contentType += h.name == "content-type" ? h.value : "";
        if (cancelAtHeader) session->cancel(id);
    }
    void onData(std::string_view data) override { body += data; }
    void onEnd(H2StreamEnd e, const std::string& t) override { end = e, text = t, ++ends; }
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

std::string content(size_t i) {
    return std::string(1000 + i * 37, char('a' + i % 26));
}

struct Expect {
    H2StreamEnd end;
    int status;
    size_t bodySize;
    std::string textPart;
};

struct Case {
    const char* name;
    std::string server;          // after the server's SETTINGS and its ACK of the client's
    std::vector<Expect> streams; // streams 1, 3, 5, ...
    bool sessionEnds = false;
    size_t streamLimit = lumi::H2MostStreams;
    bool cancelFirstAtHeader = false;
};

} // namespace

TEST(H2Session, StreamsEndAsTheServerSaysAndHostileServersEndTheSessionOnly) {
    const std::string preface =
        frame(NGHTTP2_SETTINGS, 0, 0, "") + frame(NGHTTP2_SETTINGS, NGHTTP2_FLAG_ACK, 0, "");
    using E = H2StreamEnd;
    // clang-format off
    const Case cases[] = {
        {"answers, one wider than the stream window, one after a 103",
         preface + answer(1, 200, 20000) + answer(3, 404, 0) +
             headers(5, field(":status", "103"), false) + answer(5, 200, 3u << 20),
         {{E::Complete, 200, 20000, ""}, {E::Complete, 404, 0, ""}, {E::Complete, 200, 3u << 20, ""}}},
        {"a stream reset after its header",
         preface + headers(1, field(":status", "200") + field("content-type", "image/jpeg"), false) +
             frame(NGHTTP2_RST_STREAM, 0, 1, u32(NGHTTP2_INTERNAL_ERROR)),
         {{E::Reset, 200, 0, "INTERNAL_ERROR"}}},
        {"GOAWAY after the first request",
         preface + answer(1, 200, 10) + frame(NGHTTP2_GOAWAY, 0, 0, u32(1) + u32(0)),
         {{E::Complete, 200, 10, ""}, {E::Unprocessed, 0, 0, "GOAWAY"}, {E::Unprocessed, 0, 0, "GOAWAY"}},
         true},
        {"a header over the bound", preface + answer(1, 200, 10, 20000) + answer(3, 200, 10, 40000),
         {{E::Complete, 200, 10, ""}, {E::Reset, 0, 0, "too large"}}},
        {"cancelled at its header", preface + answer(1, 200, 50000) + answer(3, 200, 5),
         {{E::Complete, 200, 0, ""}, {E::Complete, 200, 5, ""}}, false, lumi::H2MostStreams, true},
        {"SETTINGS naming one stream at once",
         frame(NGHTTP2_SETTINGS, 0, 0, std::string("\0\3", 2) + u32(1)), {}, false, 1},
        {"SETTINGS with a window past 2^31-1",
         frame(NGHTTP2_SETTINGS, 0, 0, std::string("\0\4", 2) + u32(1u << 31)),
         {{E::Lost, 0, 0, "Flow control"}}, true},
        {"a flood of PING", preface + repeated(frame(NGHTTP2_PING, 0, 0, "12345678"), 3000),
         {{E::Lost, 0, 0, "flooded"}}, true},
        {"WINDOW_UPDATEs of one byte",
         preface + repeated(frame(NGHTTP2_WINDOW_UPDATE, 0, 0, u32(1)), 5000), {}, false},
        {"a server speaking HTTP/1.1", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
         {{E::Lost, 0, 0, "protocol"}}, true},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lumi::H2Session session;
        std::vector<Recorder> streams(std::max<size_t>(c.streams.size(), 1));
        for (size_t i = 0; i < streams.size(); ++i) {
            streams[i].session = &session;
            streams[i].cancelAtHeader = c.cancelFirstAtHeader && i == 0;
            streams[i].id = session.submit({"GET", "https", "h", "/", {{"Host", "x"}}}, streams[i]);
            ASSERT_EQ(streams[i].id, int32_t(2 * i + 1));
        }
        std::string out;
        session.takeOutput(out); // the requests go out first
        // Read as a socket hands bytes out, the session's own frames sent after each read.
        for (size_t at = 0; at < c.server.size(); at += 65536) {
            session.receive(c.server.data() + at, std::min<size_t>(65536, c.server.size() - at));
            session.takeOutput(out);
        }
        EXPECT_EQ(session.finished(), c.sessionEnds) << session.errorText();
        EXPECT_EQ(session.streamLimit(), c.streamLimit);
        EXPECT_EQ(session.canSubmit(), c.streamLimit > 1 && !c.sessionEnds);
        for (size_t i = 0; i < c.streams.size(); ++i) {
            const Expect& e = c.streams[i];
            const Recorder& r = streams[i];
            EXPECT_EQ(r.ends, r.cancelAtHeader ? 0 : 1) << i;
            EXPECT_EQ(int(r.end), int(e.end)) << i << " " << r.text;
            EXPECT_EQ(r.status, e.status) << i;
            EXPECT_EQ(r.body, std::string(e.bodySize, 'p')) << i;
            EXPECT_NE(r.text.find(e.textPart), std::string::npos) << i << " " << r.text;
            EXPECT_EQ(r.contentType, e.status ? "image/jpeg" : "") << i;
        }
        EXPECT_EQ(session.openStreams(), c.streams.empty() ? 1u : 0u);
    }
}

// A batch wider than the streams one connection may open goes through as streams free; when
// nginx says GOAWAY mid-batch (its request bound) the streams it left are unprocessed.
TEST(H2Connection, CarriesABatchWiderThanItsStreamsAndLeavesWhatGoawayRefused) {
    constexpr size_t kPictures = 250;
    QTemporaryDir folder;
    for (size_t i = 0; i < kPictures; ++i) {
        QFile f(folder.filePath(QString::number(i)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content(i).data(), qint64(content(i).size()));
    }
    for (const size_t requestBound : {size_t(1000), size_t(120)}) {
        SCOPED_TRACE(requestBound);
        lumi::test::NginxPeer web(folder.path().toStdString(), " http2",
                                  "keepalive_requests " + std::to_string(requestBound) + ";");
        ASSERT_TRUE(web.running()) << web.error();
        const auto connection = connectTo(web.port());
        ASSERT_TRUE(connection);
        std::vector<Recorder> pictures(kPictures);
        size_t next = 0, mostOpen = 0;
        bool finished = false;
        const auto submitWaiting = [&] {
            for (; next < kPictures && connection->canSubmit(); ++next)
                connection->submit({"GET", "http", "127.0.0.1", "/" + std::to_string(next), {}},
                                   pictures[next]);
            mostOpen = std::max(mostOpen, connection->openStreams());
        };
        connection->OnStreamFreed = [&](lumi::H2Connection*) { submitWaiting(); };
        connection->OnFinished = [&](lumi::H2Connection*) { finished = true; };
        submitWaiting();
        const auto ended = [&](lumi::H2StreamEnd end) {
            return size_t(std::count_if(pictures.begin(), pictures.begin() + long(next),
                                        [&](const Recorder& p) { return p.ends && p.end == end; }));
        };
        ASSERT_TRUE(lumi::test::waitUntil(
            [&] { return finished || ended(lumi::H2StreamEnd::Complete) == kPictures; }, 20000));
        EXPECT_EQ(mostOpen, lumi::H2MostStreams);
        EXPECT_EQ(ended(lumi::H2StreamEnd::Complete), std::min(kPictures, requestBound));
        for (size_t i = 0; i < next; ++i)
            EXPECT_TRUE(pictures[i].end != lumi::H2StreamEnd::Complete ||
                        pictures[i].body == content(i))
                << i;
        EXPECT_EQ(finished, requestBound < kPictures);
        EXPECT_EQ(ended(lumi::H2StreamEnd::Unprocessed), next - std::min(next, requestBound));
    }
}
