// The gzip/deflate decoder fed at every split point, the bodies it must refuse, and the bound
// that stops a decompression bomb.
#include "net/ContentDecoding.h"

#include <string>

#include <zlib.h>

#include <gtest/gtest.h>

namespace {

std::string compressed(const std::string& bytes, int windowBits) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(bytes.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

} // namespace

TEST(ContentDecoding, UnpacksEveryEncodingAtEverySplitAndRefusesBombsInWords) {
    std::string text(40000, 'x');
    text.insert(0, "{\"results\":[\"caf\xc3\xa9\"]}");
    std::string trailing = compressed(text, 31);
    trailing.append("trailing bytes");
    const std::string half = text.substr(0, 20000);
    const std::string gzip = compressed(text, 31);
    struct Case {
        const char* encoding;
        std::string body;
        int64_t bound;
        const char* error; // "" when the body unpacks to text
    };
    const Case cases[] = {
        {"gzip", trailing, 1 << 20, ""},
        {"X-GZIP", gzip, 1 << 20, ""},
        {"deflate", compressed(text, 15), 1 << 20, ""},
        {"deflate", compressed(text, -15), 1 << 20, ""}, // raw deflate under the name
        {"gzip", compressed(half, 31) + compressed(text.substr(20000), 31), 1 << 20, ""},
        {"gzip, gzip", compressed(gzip, 31), 1 << 20, ""},
        {"deflate,gzip", compressed(compressed(text, 15), 31), 1 << 20, ""},
        {"identity, gzip", gzip, 1 << 20, ""},
        {"gzip", gzip.substr(0, gzip.size() - 8), 1 << 20, "compressed body is cut short"},
        {"gzip", compressed(half, 31) + gzip.substr(0, 30), 1 << 20, "is cut short"},
        {"gzip, gzip", compressed(gzip.substr(0, gzip.size() - 8), 31), 1 << 20, "is cut short"},
        {"gzip", gzip, 20000, "refused as a decompression bomb"},
        {"gzip, gzip", compressed(gzip, 31), 20000, "refused as a decompression bomb"},
        {"gzip", "\x1f\x8b not gzip", 1 << 20, "The answer's compressed body is damaged"},
        {"deflate", "x\x9cgarbage garbage", 1 << 20, "is damaged"},
        {"br", gzip, 1 << 20, "packed as \"br\", which cannot be unpacked"},
        {"gzip, compress", gzip, 1 << 20, "packed as \"compress\""},
        {"gzip,gzip,gzip,gzip,gzip", gzip, 1 << 20, "packed more than 4 times over"},
    };
    for (const Case& c : cases) {
        for (size_t split = 0; split <= c.body.size(); split += 97) {
            SCOPED_TRACE(std::string(c.encoding) + " split " + std::to_string(split));
            auto decoder = lumi::ContentDecoder::forEncoding(c.encoding, c.bound);
            ASSERT_TRUE(decoder);
            std::string out;
            const bool ok = decoder->decode(std::string_view(c.body).substr(0, split), out) &&
                            decoder->decode(std::string_view(c.body).substr(split), out) &&
                            decoder->finish();
            EXPECT_EQ(ok, *c.error == '\0');
            if (ok) {
                EXPECT_EQ(out, text);
            } else {
                EXPECT_NE(decoder->error().find(c.error), std::string::npos) << decoder->error();
                EXPECT_FALSE(decoder->decode("more", out)) << "a refusal is final";
            }
        }
    }
    for (const char* plain : {"", "identity", " , identity"})
        EXPECT_FALSE(lumi::ContentDecoder::forEncoding(plain, 1 << 20)) << plain;
}
