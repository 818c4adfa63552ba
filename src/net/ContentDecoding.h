#pragma once
// Undoes the Content-Encoding of an answer body (gzip or deflate) as its blocks arrive, with
// zlib. It owns its zlib stream. The decoded bytes are bounded: an answer that unpacks to
// more than the bound is refused as a decompression bomb instead of filling memory.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace lumi {

class ContentDecoder {
public:
    // The decoder for a Content-Encoding value ("gzip", "x-gzip", "deflate", any case);
    // nullptr for "identity", an empty value or an encoding it does not know.
    static std::unique_ptr<ContentDecoder> forEncoding(std::string_view encoding,
                                                       int64_t maxDecodedBytes);
    ~ContentDecoder();
    ContentDecoder(const ContentDecoder&) = delete;
    ContentDecoder& operator=(const ContentDecoder&) = delete;

    // Appends the decoded bytes of one block to out; false, with error() set, when the
    // block is not the encoding it claims or the decoded total passes the bound. Bytes after
    // the end of the compressed stream are ignored.
    bool decode(std::string_view block, std::string& out);
    // Whether the compressed stream has reached its end (a shorter body was cut short).
    bool finished() const { return finished_; }
    const std::string& error() const { return error_; }

private:
    struct Stream;
    ContentDecoder(bool gzip, int64_t maxDecodedBytes);
    bool restartAsRawDeflate(std::string_view block, std::string& out);
    bool fail(const std::string& why);

    std::unique_ptr<Stream> stream_;
    bool mayBeRaw_; // "deflate" not yet proven a zlib stream
    bool sawInput_ = false;
    bool finished_ = false;
    int64_t maxDecoded_;
    int64_t decoded_ = 0;
    std::string error_;
};

} // namespace lumi
