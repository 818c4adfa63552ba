// The chunked-body decoder fed at every split point, and the bodies it must refuse.
#include "net/ChunkedBody.h"

#include <string>

#include <gtest/gtest.h>

namespace {

struct Decoded {
    std::string bytes;
    bool ok = true;
    bool complete = false;
    std::string error;
};

Decoded decode(const std::string& body, size_t split) {
    lumi::ChunkedBody chunks;
    Decoded d;
    const auto sink = [&](const char* data, size_t size) {
        d.bytes.append(data, size);
        return true;
    };
    d.ok = chunks.feed(std::string_view(body).substr(0, split), sink) &&
           chunks.feed(std::string_view(body).substr(split), sink);
    d.complete = chunks.complete();
    d.error = chunks.error();
    return d;
}

} // namespace

TEST(ChunkedBody, DecodesAtEverySplitPointAndRefusesBrokenBodies) {
    const std::string good = "4;name=v\r\nabcd\r\nA\r\n0123456789\r\n0\r\nX-Trailer: t\r\n\r\nafter";
    for (size_t split = 0; split <= good.size(); ++split) {
        const Decoded d = decode(good, split);
        EXPECT_TRUE(d.ok) << split;
        EXPECT_TRUE(d.complete) << split;
        EXPECT_EQ(d.bytes, "abcd0123456789") << split;
    }
    struct Broken {
        std::string body, error;
    };
    const Broken broken[] = {
        {"zz\r\n", "Broken chunked body: no chunk size"},
        {"4x\r\nabcd\r\n", "Broken chunked body: no chunk size"},
        {"2\r\nabcd\r\n", "Broken chunked body: no line end after a chunk"},
        {"1" + std::string(lumi::MaxChunkLine, ';'), "Broken chunked body: line too long"},
        {"11111111111111111\r\n", "Broken chunked body: chunk size too large"},
    };
    for (const Broken& b : broken) {
        const Decoded d = decode(b.body, b.body.size() / 2);
        EXPECT_FALSE(d.ok) << b.body.substr(0, 20);
        EXPECT_EQ(d.error, b.error);
    }
    EXPECT_FALSE(decode("4\r\nab", 3).complete) << "cut short is not complete";
}
