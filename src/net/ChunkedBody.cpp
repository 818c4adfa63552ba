#include "net/ChunkedBody.h"

#include <algorithm>

namespace lumi {

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace

bool ChunkedBody::broken(const char* why) {
    state_ = State::Broken;
    error_ = std::string("Broken chunked body: ") + why;
    return false;
}

// line_ holds one size line without its line end.
bool ChunkedBody::sizeLine() {
    uint64_t size = 0;
    size_t i = 0;
    for (; i < line_.size() && hexDigit(line_[i]) >= 0; ++i) {
        if (size > (UINT64_MAX >> 4)) return broken("chunk size too large");
        size = size * 16 + static_cast<uint64_t>(hexDigit(line_[i]));
    }
    if (i == 0) return broken("no chunk size");
    if (i < line_.size() && line_[i] != ';' && line_[i] != ' ' && line_[i] != '\t')
        return broken("no chunk size");
    line_.clear();
    left_ = size;
    state_ = size == 0 ? State::Trailer : State::Data;
    return true;
}

bool ChunkedBody::feed(std::string_view block, const Sink& sink) {
    size_t pos = 0;
    while (pos < block.size()) {
        switch (state_) {
        case State::Size:
        case State::Trailer:
        case State::DataEnd: {
            const char c = block[pos++];
            if (c == '\r') continue;
            if (c != '\n') {
                if (state_ == State::DataEnd) return broken("no line end after a chunk");
                if (line_.size() >= MaxChunkLine) return broken("line too long");
                line_ += c;
                continue;
            }
            if (state_ == State::DataEnd) {
                state_ = State::Size;
            } else if (state_ == State::Size) {
                if (!sizeLine()) return false;
            } else if (line_.empty()) {
                state_ = State::Done;
            } else {
                line_.clear(); // a trailer field, not kept
            }
            break;
        }
        case State::Data: {
            const size_t take =
                static_cast<size_t>(std::min<uint64_t>(left_, block.size() - pos));
            if (!sink(block.data() + pos, take)) {
                state_ = State::Broken;
                return false;
            }
            pos += take;
            left_ -= take;
            if (left_ == 0) state_ = State::DataEnd;
            break;
        }
        case State::Done:
            overran_ = true; // what follows the body is not taken
            return true;
        case State::Broken:
            return false;
        }
    }
    return state_ != State::Broken;
}

} // namespace lumi
