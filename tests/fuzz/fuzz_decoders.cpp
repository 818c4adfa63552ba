// The body decoders chained as the client chains them: the chunked decoder takes pieces (the
// first byte picks their size) for the content decoder of the coding the second byte picks.
// The decoded bytes stay within the bound; a decoder that gives up says why and stays so.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>

#include "net/ChunkedBody.h"
#include "net/ContentDecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr int64_t bound = 1 << 20, outputBlock = 16384; // zlib's output comes in blocks
    constexpr const char* codings[] = {"gzip", "deflate", "gzip, gzip", "deflate, gzip", "br"};
    if (size < 2) return 0;
    const size_t piece = data[0] == 0 ? size : data[0] < 16 ? data[0] : size_t(data[0]) * 16;
    auto decoder = lumi::ContentDecoder::forEncoding(codings[data[1] % std::size(codings)], bound);
    lumi::ChunkedBody chunks;
    std::string out;
    std::string_view rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    bool ok = true;
    for (; ok && !rest.empty(); rest.remove_prefix(std::min(piece, rest.size()))) {
        ok = chunks.feed(rest.substr(0, piece), [&](const char* bytes, size_t n) {
            return decoder->decode(std::string_view(bytes, n), out);
        });
        if (int64_t(out.size()) > bound + outputBlock) __builtin_trap();
    }
    const bool refused = ok ? !decoder->finish() : chunks.error().empty();
    if (refused && (decoder->error().empty() || decoder->decode("x", out))) __builtin_trap();
    return 0;
}
