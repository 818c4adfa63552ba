#pragma once
// Undoes the Content-Encoding of an answer body (gzip or deflate, one or several applied in
// turn) as its blocks arrive, with zlib. It owns its zlib streams. The decoded bytes are
// bounded: an answer that unpacks to more than the bound is refused as a decompression bomb
// instead of filling memory.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lumi {

// Codings undone for one answer at most; a longer list is refused.
inline constexpr size_t MaxStackedCodings = 4;

class ContentDecoder {
public:
    // The decoder for a Content-Encoding value: a list of codings in the order they were
    // applied ("gzip", "x-gzip", "deflate", any case; "gzip, gzip"), undone last first.
    // nullptr for an empty value or "identity" alone. A coding it does not know, or more
    // than MaxStackedCodings, gives a decoder that refuses the body in words.
    static std::unique_ptr<ContentDecoder> forEncoding(std::string_view encoding,
                                                       int64_t maxDecodedBytes);
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder&) = delete;
    ContentDecoder& operator=(const ContentDecoder&) = delete;

    // Appends the decoded bytes of one block to out; false, with error() set, when the
    // block is not the encoding it claims or a decoded total passes the bound. A gzip stream
    // may hold several members, each read in turn; other bytes after the end of a compressed
    // stream are ignored. A refusal is final.
    bool decode(std::string_view block, std::string& out);
    // The body has ended: false, with error() saying it was cut short, when a compressed
    // stream that started has not reached its end.
    bool finish();
    const std::string& error() const { return error_; }

private:
    class Layer;
    ContentDecoder();
    bool fail(const std::string& why);

    std::vector<std::unique_ptr<Layer>> layers_; // in the order they are undone
    std::string error_;
};

} // namespace lumi
