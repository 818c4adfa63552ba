#pragma once
// Decodes a body sent with "Transfer-Encoding: chunked" (an HTTP/1.1 server may answer an
// HTTP/1.0 request so): hex sizes with optional extensions, CR LF after each chunk, a last
// chunk of size 0 and an optional trailer. Fed in blocks split anywhere; holds at most one
// size line, so a hostile peer cannot make it grow.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace lumi {

// Longest chunk-size line (size, extensions) accepted.
inline constexpr size_t MaxChunkLine = 1024;

class ChunkedBody {
public:
    // Receives the decoded bytes as they come out.
    using Sink = std::function<bool(const char* data, size_t size)>;

    // Decodes block; false when the body is broken (error() says how) or the sink refused.
    bool feed(std::string_view block, const Sink& sink);
    // The last chunk and the trailer's end have arrived.
    bool complete() const { return state_ == State::Done; }
    // Bytes came after the end of the body (and were not taken).
    bool overran() const { return overran_; }
    const std::string& error() const { return error_; }

private:
    enum class State { Size, Data, DataEnd, Trailer, Done, Broken };
    bool sizeLine();
    bool broken(const char* why);

    State state_ = State::Size;
    std::string line_;
    uint64_t left_ = 0;
    std::string error_;
    bool overran_ = false;
};

} // namespace lumi
