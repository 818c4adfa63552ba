// The HTTP/2 client session against a server session of the same library in memory, and
// against hand-made frames of a hostile server.
#include "net/H2Session.h"

#include "H2ServerPeer.h"

#include <map>
#include <string>
#include <vector>

#include <nghttp2/nghttp2.h>

#include <gtest/gtest.h>

namespace {

using lumi::H2StreamEnd;
using lumi::test::Answer;
using lumi::test::pattern;
using lumi::test::ServerPeer;

struct Recorder : lumi::H2StreamHandler {
    lumi::H2Session* session = nullptr;
    int32_t id = 0;
    bool cancelAtHeader = false;
    int status = 0, ends = 0;
    std::string contentType, body, text;
    H2StreamEnd end{};
    void onHeaders(int s, const std::vector<lumi::H2Header>& headers) override {
        status = s;
        for (const auto& h : headers)
            if (h.name == "content-type") contentType = h.value;
        if (cancelAtHeader) session->cancel(id);
    }
    void onData(std::string_view data) override { body += data; }
    void onEnd(H2StreamEnd e, const std::string& t) override { end = e, text = t, ++ends; }
};

std::string frame(uint8_t type, uint8_t flags, uint32_t stream, const std::string& payload) {
    const auto n = uint32_t(payload.size());
    std::string f = {char(n >> 16), char(n >> 8), char(n), char(type), char(flags),
                     char(stream >> 24), char(stream >> 16), char(stream >> 8), char(stream)};
    return f + payload;
}
std::string u16u32(uint16_t id, uint32_t v) {
    return {char(id >> 8), char(id), char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string repeated(const std::string& s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

struct Expect {
    H2StreamEnd end;
    int status;
    size_t bodySize;
    std::string text; // a part of the end's text
};

struct Case {
    const char* name;
    std::map<std::string, Answer> answers; // empty: the server is `raw`
    int goawayAfter = -1;
    std::string raw;
    std::vector<Expect> streams;    // paths /0, /1, ...
    bool sessionEnds = false;
    size_t streamLimit = lumi::H2MostStreams;
    bool cancelFirstAtHeader = false;
};

} // namespace

TEST(H2Session, StreamsEndAsTheServerSaysAndHostileServersFailTheSessionOnly) {
    const std::string preface =
        frame(NGHTTP2_SETTINGS, 0, 0, "") + frame(NGHTTP2_SETTINGS, NGHTTP2_FLAG_ACK, 0, "");
    const Case cases[] = {
        {"answers, one wider than the stream window, and a 1xx before one",
         {{"/0", {200, 20000}}, {"/1", {404, 0}}, {"/2", {200, 3u << 20, false, 0, true}}}, -1, "",
         {{H2StreamEnd::Complete, 200, 20000, ""}, {H2StreamEnd::Complete, 404, 0, ""},
          {H2StreamEnd::Complete, 200, 3u << 20, ""}}},
        {"a stream reset after its header", {{"/0", {200, 0, true}}}, -1, "",
         {{H2StreamEnd::Reset, 200, 0, "INTERNAL_ERROR"}}},
        {"GOAWAY after the first request", {{"/0", {200, 10}}}, 1, "",
         {{H2StreamEnd::Complete, 200, 10, ""}, {H2StreamEnd::Unprocessed, 0, 0, "GOAWAY"},
          {H2StreamEnd::Unprocessed, 0, 0, "GOAWAY"}}, true},
        {"a header over the bound", {{"/0", {200, 10, false, 20000}}, {"/1", {200, 10, false, 40000}}},
         -1, "", {{H2StreamEnd::Complete, 200, 10, ""}, {H2StreamEnd::Reset, 0, 0, "too large"}}},
        {"cancelled at its header", {{"/0", {200, 50000}}, {"/1", {200, 5}}}, -1, "",
         {{H2StreamEnd::Complete, 200, 0, ""}, {H2StreamEnd::Complete, 200, 5, ""}}, false,
         lumi::H2MostStreams, true},
        {"SETTINGS naming one stream at once", {}, -1,
         frame(NGHTTP2_SETTINGS, 0, 0, u16u32(NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS, 1)), {},
         false, 1},
        {"SETTINGS with a window past 2^31-1", {}, -1,
         frame(NGHTTP2_SETTINGS, 0, 0, u16u32(NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, 1u << 31)),
         {{H2StreamEnd::Lost, 0, 0, "Flow control"}}, true},
        {"a flood of PING", {}, -1, preface + repeated(frame(NGHTTP2_PING, 0, 0, "12345678"), 3000),
         {{H2StreamEnd::Lost, 0, 0, "flooded"}}, true},
        {"WINDOW_UPDATEs of one byte", {}, -1,
         preface + repeated(frame(NGHTTP2_WINDOW_UPDATE, 0, 0, std::string("\0\0\0\1", 4)), 5000),
         {}, false},
        {"a window update past 2^31-1", {}, -1,
         preface + frame(NGHTTP2_WINDOW_UPDATE, 0, 0, "\x7f\xff\xff\xff"),
         {{H2StreamEnd::Lost, 0, 0, "Flow control"}}, true},
        {"a server speaking HTTP/1.1", {}, -1, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
         {{H2StreamEnd::Lost, 0, 0, "protocol"}}, true},
        {"PUSH_PROMISE though push is off", {}, -1,
         preface + frame(NGHTTP2_PUSH_PROMISE, NGHTTP2_FLAG_END_HEADERS, 1, std::string("\0\0\0\2\x82", 5)),
         {{H2StreamEnd::Lost, 0, 0, "protocol"}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lumi::H2Session session;
        std::vector<Recorder> streams(std::max<size_t>(c.streams.size(), 1));
        for (size_t i = 0; i < streams.size(); ++i) {
            streams[i].session = &session;
            streams[i].cancelAtHeader = c.cancelFirstAtHeader && i == 0;
            lumi::H2Request request{"GET", "https", "pics.example", "/" + std::to_string(i), {{"Host", "x"}}};
            streams[i].id = session.submit(request, streams[i]);
            ASSERT_GT(streams[i].id, 0);
        }
        if (c.answers.empty()) {
            std::string out;
            session.takeOutput(out); // the requests go out first
            session.receive(c.raw.data(), c.raw.size());
            session.takeOutput(out);
        } else {
            ServerPeer server(c.answers, c.goawayAfter);
            for (int round = 0; round < 1000; ++round) {
                std::string out;
                session.takeOutput(out);
                const std::string back = server.exchange(out);
                if (out.empty() && back.empty()) break;
                session.receive(back.data(), back.size());
            }
        }
        EXPECT_EQ(session.finished(), c.sessionEnds) << session.errorText();
        EXPECT_EQ(session.streamLimit(), c.streamLimit);
        if (c.streamLimit == 1) { EXPECT_FALSE(session.canSubmit()); }
        for (size_t i = 0; i < c.streams.size(); ++i) {
            const Expect& e = c.streams[i];
            const Recorder& r = streams[i];
            EXPECT_EQ(r.ends, r.cancelAtHeader ? 0 : 1) << i;
            if (!r.cancelAtHeader) { EXPECT_EQ(int(r.end), int(e.end)) << i << " " << r.text; }
            EXPECT_EQ(r.status, e.status) << i;
            EXPECT_EQ(r.body, pattern(e.bodySize)) << i;
            EXPECT_NE(r.text.find(e.text), std::string::npos) << i << " " << r.text;
            if (e.status == 200) { EXPECT_EQ(r.contentType, "image/jpeg") << i; }
        }
        if (c.streams.empty() || c.cancelFirstAtHeader) continue;
        EXPECT_EQ(session.openStreams(), 0u);
    }
}
