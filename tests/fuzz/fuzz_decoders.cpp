// Fuzzes the body decoders chained as the client chains them: the chunked decoder takes the
// input in pieces (the first byte picks their size, as a network would cut them), and what it
// gives goes on to the content decoder of the coding the second byte picks (gzip, deflate,
// both stacked, or one it does not know). What must hold: the decoded bytes stay within the
// bound, a refusal is final, and a decoder that gave up says why.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <string_view>

#include "net/ChunkedBody.h"
#include "net/ContentDecoding.h"

namespace {

constexpr int64_t Bound = 1 << 20;
// zlib hands its output over in blocks of this size: the bound is checked after each.
constexpr size_t OutputBlock = 16384;
constexpr const char* Codings[] = {"gzip", "deflate", "gzip, gzip", "deflate, gzip", "x-gzip",
                                   "br"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t piece = data[0] == 0 ? size : data[0] < 16 ? data[0] : size_t(data[0]) * 16;
    auto decoder = lumi::ContentDecoder::forEncoding(Codings[data[1] % std::size(Codings)], Bound);
    if (!decoder) __builtin_trap();
    lumi::ChunkedBody chunks;
    std::string out;
    std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    bool ok = true;
    while (ok && !rest.empty()) {
        const std::string_view block = rest.substr(0, piece);
        rest.remove_prefix(block.size());
        ok = chunks.feed(block, [&](const char* bytes, size_t n) {
            return decoder->decode(std::string_view(bytes, n), out);
        });
        if (out.size() > size_t(Bound) + OutputBlock) __builtin_trap();
    }
    if (!ok) {
        // Refused by the framing or by the coding: either says why, and stays refused.
        if (chunks.error().empty() && decoder->error().empty()) __builtin_trap();
        if (chunks.feed("0\r\n\r\n", [](const char*, size_t) { return true; })) __builtin_trap();
        return 0;
    }
    const bool whole = decoder->finish();
    if (!whole && decoder->error().empty()) __builtin_trap();
    if (!whole && decoder->decode("x", out)) __builtin_trap();
    return 0;
}
