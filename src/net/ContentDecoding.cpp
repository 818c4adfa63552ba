#include "net/ContentDecoding.h"

#include <zlib.h>

#include "base/TextOps.h"

namespace lumi {

namespace {

// zlib's window bits: 15 with 16 added reads only gzip; plain 15 reads a zlib stream;
// negative reads raw deflate, which some servers send for "deflate".
constexpr int GzipWindow = 15 + 16, ZlibWindow = 15, RawWindow = -15;
constexpr size_t OutputChunk = 16384;

std::string megabytes(int64_t bytes) {
    return std::to_string(bytes / 1048576) + " MB";
}

} // namespace

struct ContentDecoder::Stream {
    z_stream z{};
    bool open = false;
    explicit Stream(int windowBits) { open = inflateInit2(&z, windowBits) == Z_OK; }
    ~Stream() {
        if (open) inflateEnd(&z);
    }
};

std::unique_ptr<ContentDecoder> ContentDecoder::forEncoding(std::string_view encoding,
                                                            int64_t maxDecodedBytes) {
    const std::string name = textLower(textTrim(encoding));
    if (name == "gzip" || name == "x-gzip")
        return std::unique_ptr<ContentDecoder>(new ContentDecoder(true, maxDecodedBytes));
    if (name == "deflate")
        return std::unique_ptr<ContentDecoder>(new ContentDecoder(false, maxDecodedBytes));
    return nullptr;
}

ContentDecoder::ContentDecoder(bool gzip, int64_t maxDecodedBytes)
    : stream_(std::make_unique<Stream>(gzip ? GzipWindow : ZlibWindow)), mayBeRaw_(!gzip),
      maxDecoded_(maxDecodedBytes) {}

ContentDecoder::~ContentDecoder() = default;

bool ContentDecoder::fail(const std::string& why) {
    error_ = why;
    return false;
}

// "deflate" should be a zlib stream, but servers have long sent raw deflate under that name:
// when the first block is no zlib stream, it is read again as raw deflate.
bool ContentDecoder::restartAsRawDeflate(std::string_view block, std::string& out) {
    stream_ = std::make_unique<Stream>(RawWindow);
    mayBeRaw_ = false;
    sawInput_ = false;
    return decode(block, out);
}

bool ContentDecoder::decode(std::string_view block, std::string& out) {
    if (!error_.empty()) return false;
    if (finished_ || block.empty()) return true;
    if (!stream_->open) return fail("The answer's compressed body cannot be unpacked (zlib)");
    const bool first = !sawInput_;
    sawInput_ = true;
    z_stream& z = stream_->z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    z.avail_in = static_cast<uInt>(block.size());
    const size_t startSize = out.size();
    for (;;) {
        const size_t at = out.size();
        out.resize(at + OutputChunk);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + at);
        z.avail_out = static_cast<uInt>(OutputChunk);
        const int result = inflate(&z, Z_NO_FLUSH);
        out.resize(at + (OutputChunk - z.avail_out));
        decoded_ += static_cast<int64_t>(OutputChunk - z.avail_out);
        if (decoded_ > maxDecoded_)
            return fail("The answer's compressed body unpacks to more than " +
                        megabytes(maxDecoded_) + " and was refused as a decompression bomb");
        if (result == Z_STREAM_END) {
            finished_ = true;
            return true;
        }
        if (result == Z_DATA_ERROR && first && mayBeRaw_ && decoded_ == 0) {
            out.resize(startSize);
            return restartAsRawDeflate(block, out);
        }
        if (result != Z_OK && result != Z_BUF_ERROR)
            return fail(std::string("The answer's compressed body is damaged: ") +
                        (z.msg ? z.msg : "zlib error " + std::to_string(result)));
        // Room left over: zlib took every byte of the block and waits for more.
        if (z.avail_out != 0) return true;
    }
}

} // namespace lumi
