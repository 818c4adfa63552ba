#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/HttpResponseParser.h"

using lumi::HttpHeaderLine;
using lumi::HttpResponseParser;

namespace {

// Feeds the pieces one after another and collects every complete line.
std::vector<std::string> linesOf(HttpResponseParser& p, const std::vector<std::string>& pieces) {
    std::vector<std::string> lines;
    std::string line;
    for (const std::string& piece : pieces) {
        p.feed(piece);
        while (p.nextLine(line))
            lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(HttpResponseParser, LinesAcrossPiecesAndWhatIsLeft) {
    struct Case {
        std::vector<std::string> pieces;
        std::vector<std::string> lines;
        std::string pending;
    };
    const Case cases[] = {
        {{"HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody"}, {"HTTP/1.0 200 OK", "A: b", ""}, "body"},
        {{"HTTP/1.0 2", "00 OK\r", "\nX: y\n", "\r\n"}, {"HTTP/1.0 200 OK", "X: y", ""}, ""},
        // A zero byte hides the line end behind it.
        {{std::string("A: b\0c\r\n", 8)}, {}, std::string("A: b\0c\r\n", 8)},
    };
    for (const Case& c : cases) {
        HttpResponseParser p;
        EXPECT_EQ(linesOf(p, c.pieces), c.lines);
        EXPECT_EQ(p.pending(), c.pending);
    }
}

TEST(HttpResponseParser, FullBufferLeavesNoRoomUntilCleared) {
    HttpResponseParser p;
    const std::string big(lumi::httpLineBufferSize + 10, 'x');
    EXPECT_EQ(p.feed(big), static_cast<size_t>(lumi::httpLineBufferSize));
    std::string line;
    EXPECT_FALSE(p.nextLine(line));
    EXPECT_EQ(p.room(), 0);
    p.clear();
    EXPECT_EQ(p.room(), lumi::httpLineBufferSize);
}

TEST(HttpResponseParser, HeaderLineMeanings) {
    using Kind = HttpHeaderLine::Kind;
    struct Case {
        const char* line;
        Kind kind;
        int status;
        const char* reasonOrName;
        const char* value;
        bool valid;
    };
    const Case cases[] = {
        {"HTTP/1.1 302 Found here", Kind::StatusLine, 302, "Found here", "", true},
        {"HTTP/1.0 2x0 OK", Kind::StatusLine, 0, "OK", "", false},
        {"HTTP/2 200", Kind::Other, 0, "", "", true}, // not a status line this client reads
        {"Content-Length: \t 12 \t", Kind::Field, 0, "content-length", "12", true},
        {"<html><body>", Kind::HtmlStart, 0, "", "", true},
        {"", Kind::EndOfHeader, 0, "", "", true},
        {"no colon", Kind::Other, 0, "", "", true},
    };
    for (const Case& c : cases) {
        const HttpHeaderLine r = HttpResponseParser::readHeaderLine(c.line);
        EXPECT_EQ(r.kind, c.kind) << c.line;
        EXPECT_EQ(r.validStatus, c.valid) << c.line;
        EXPECT_EQ(r.statusCode, c.status) << c.line;
        if (c.kind == Kind::StatusLine) {
            EXPECT_EQ(r.reasonPhrase, c.reasonOrName) << c.line;
        }
        if (c.kind == Kind::Field) {
            EXPECT_EQ(r.name, c.reasonOrName) << c.line;
            EXPECT_EQ(r.value, c.value) << c.line;
        }
    }
}
