#include "net/ContentDecoding.h"

#include <algorithm>

#include <zlib.h>

#include "base/TextOps.h"

namespace lumi {

namespace {

// zlib's window bits: 15 with 16 added reads only gzip; plain 15 reads a zlib stream;
// negative reads raw deflate, which some servers send for "deflate".
constexpr int GzipWindow = 15 + 16, ZlibWindow = 15, RawWindow = -15;
constexpr size_t OutputChunk = 16384;
// The first byte of a gzip member: only such bytes after a member are read as the next one.
constexpr unsigned char GzipMagic = 0x1f;
// Characters of an unknown coding's name quoted in the refusal.
constexpr size_t MaxQuotedName = 40;

std::string megabytes(int64_t bytes) {
    return std::to_string(bytes / 1048576) + " MB";
}

bool startsMember(std::string_view bytes) {
    return !bytes.empty() && static_cast<unsigned char>(bytes.front()) == GzipMagic;
}

} // namespace

// One coding undone: a zlib stream, with its own bound on what it gives out.
class ContentDecoder::Layer {
public:
    Layer(bool gzip, int64_t maxDecoded) : gzip_(gzip), mayBeRaw_(!gzip), max_(maxDecoded) {
        open(gzip ? GzipWindow : ZlibWindow);
    }
    ~Layer() { close(); }
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    // Appends what block decodes to; the reason in words when it cannot.
    std::string decode(std::string_view block, std::string& out);
    // No stream started, or the last one reached its end.
    bool whole() const { return !sawInput_ || ended_; }

private:
    void open(int windowBits) { open_ = inflateInit2(&z_, windowBits) == Z_OK; }
    void close() {
        if (open_) inflateEnd(&z_);
        open_ = false;
        z_ = z_stream{};
    }

    z_stream z_{};
    bool open_ = false;
    bool gzip_;
    bool mayBeRaw_;        // "deflate" not yet proven a zlib stream
    bool sawInput_ = false;
    bool ended_ = false;   // at the end of a stream (of a gzip member)
    bool done_ = false;    // nothing more is read: what follows is ignored
    int64_t max_;
    int64_t decoded_ = 0;
};

std::string ContentDecoder::Layer::decode(std::string_view block, std::string& out) {
    if (done_ || block.empty()) return {};
    if (!open_) return "The answer's compressed body cannot be unpacked (zlib)";
    if (ended_) {
        // Between gzip members: another member, or bytes that are ignored.
        if (!startsMember(block)) {
            done_ = true;
            return {};
        }
        inflateReset(&z_);
        ended_ = false;
    }
    const bool first = !sawInput_;
    sawInput_ = true;
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    z_.avail_in = static_cast<uInt>(block.size());
    const size_t startSize = out.size();
    for (;;) {
        const size_t at = out.size();
        out.resize(at + OutputChunk);
        z_.next_out = reinterpret_cast<Bytef*>(out.data() + at);
        z_.avail_out = static_cast<uInt>(OutputChunk);
        const int result = inflate(&z_, Z_NO_FLUSH);
        out.resize(at + (OutputChunk - z_.avail_out));
        decoded_ += static_cast<int64_t>(OutputChunk - z_.avail_out);
        if (decoded_ > max_)
            return "The answer's compressed body unpacks to more than " + megabytes(max_) +
                   " and was refused as a decompression bomb";
        if (result == Z_STREAM_END) {
            ended_ = true;
            const std::string_view rest(reinterpret_cast<const char*>(z_.next_in), z_.avail_in);
            // A gzip body may hold several members (RFC 1952), read one after the other.
            if (!gzip_ || !startsMember(rest)) {
                done_ = !rest.empty() || !gzip_;
                return {};
            }
            inflateReset(&z_);
            ended_ = false;
            continue;
        }
        if (result == Z_DATA_ERROR && first && mayBeRaw_ && decoded_ == 0) {
            // "deflate" should be a zlib stream, but servers have long sent raw deflate under
            // that name: a first block that is no zlib stream is read again as raw deflate.
            out.resize(startSize);
            close();
            open(RawWindow);
            mayBeRaw_ = false;
            sawInput_ = false;
            return decode(block, out);
        }
        if (result != Z_OK && result != Z_BUF_ERROR)
            return std::string("The answer's compressed body is damaged: ") +
                   (z_.msg ? z_.msg : "zlib error " + std::to_string(result));
        // Room left over: zlib took every byte of the block and waits for more.
        if (z_.avail_out != 0) return {};
    }
}

ContentDecoder::ContentDecoder() = default;
ContentDecoder::~ContentDecoder() = default;

std::unique_ptr<ContentDecoder> ContentDecoder::forEncoding(std::string_view encoding,
                                                            int64_t maxDecodedBytes) {
    std::unique_ptr<ContentDecoder> decoder(new ContentDecoder);
    size_t codings = 0;
    while (!encoding.empty()) {
        const size_t comma = std::min(encoding.find(','), encoding.size());
        const std::string name = textLower(textTrim(encoding.substr(0, comma)));
        encoding.remove_prefix(std::min(comma + 1, encoding.size()));
        if (name.empty() || name == "identity" || !decoder->error_.empty()) continue;
        if (++codings > MaxStackedCodings) {
            decoder->fail("The answer's body is packed more than " +
                          std::to_string(MaxStackedCodings) + " times over and was refused");
        } else if (name == "gzip" || name == "x-gzip" || name == "deflate") {
            // Applied last, undone first.
            decoder->layers_.insert(decoder->layers_.begin(),
                                    std::make_unique<Layer>(name != "deflate", maxDecodedBytes));
        } else {
            decoder->fail("The answer's body is packed as \"" + name.substr(0, MaxQuotedName) +
                          "\", which cannot be unpacked");
        }
    }
    if (decoder->layers_.empty() && decoder->error_.empty()) return nullptr;
    return decoder;
}

bool ContentDecoder::fail(const std::string& why) {
    error_ = why;
    return false;
}

bool ContentDecoder::decode(std::string_view block, std::string& out) {
    if (!error_.empty()) return false;
    // Every layer but the last hands its bytes on to the next.
    std::string stage, next;
    std::string_view data = block;
    for (size_t i = 0; i < layers_.size(); ++i) {
        const bool last = i + 1 == layers_.size();
        if (!last) next.clear();
        const std::string why = layers_[i]->decode(data, last ? out : next);
        if (!why.empty()) return fail(why);
        if (last) break;
        stage.swap(next);
        data = stage;
    }
    return true;
}

bool ContentDecoder::finish() {
    if (!error_.empty()) return false;
    for (const auto& layer : layers_)
        if (!layer->whole()) return fail("The answer's compressed body is cut short");
    return true;
}

} // namespace lumi
