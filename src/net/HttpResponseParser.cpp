#include "net/HttpResponseParser.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/TextOps.h"

namespace lumi {

bool parseHttpDecimal(std::string_view text, int64_t& value) {
    if (text.empty()) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        if (v > (INT64_MAX - 9) / 10) return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

void HttpResponseParser::added(int count) {
    fill_ += std::clamp(count, 0, room());
    buffer_[fill_] = 0;
}

size_t HttpResponseParser::feed(std::string_view bytes) {
    const size_t n = std::min(bytes.size(), static_cast<size_t>(room()));
    std::memcpy(space(), bytes.data(), n);
    added(static_cast<int>(n));
    return n;
}

bool HttpResponseParser::nextLine(std::string& line) {
    if (fill_ > start_) {
        const char* const start = buffer_ + start_;
        // Only the bytes not yet looked at are searched: a line that arrives a few bytes at a
        // time would otherwise be read again at every piece.
        const int from = std::max(start_, scanned_);
        const size_t visible = strnlen(buffer_ + from, static_cast<size_t>(fill_ - from));
        const char* const lf =
            static_cast<const char*>(std::memchr(buffer_ + from, '\n', visible));
        if (lf) {
            size_t lineLen = static_cast<size_t>(lf - start);
            start_ += static_cast<int>(lineLen + 1);
            scanned_ = start_;
            if (lineLen > 0 && start[lineLen - 1] == '\r') --lineLen;
            line.assign(start, lineLen);
            return true;
        }
        // Up to a zero byte, which hides everything after it, or to the end.
        scanned_ = from + static_cast<int>(visible);
    }
    // Whatever is left moves to the front of the buffer.
    if (start_ > 0) {
        const int left = fill_ - start_;
        if (left > 0) std::memmove(buffer_, buffer_ + start_, static_cast<size_t>(left));
        fill_ = left;
        scanned_ = std::max(scanned_ - start_, 0);
        start_ = 0;
        buffer_[fill_] = 0;
    }
    return false;
}

void HttpResponseParser::clear() {
    fill_ = start_ = scanned_ = 0;
    buffer_[0] = 0;
}

HttpHeaderLine HttpResponseParser::readHeaderLine(std::string_view line) {
    HttpHeaderLine r;
    if (line.size() >= 6 && textSameAnyCase(line.substr(0, 6), "<HTML>")) {
        r.kind = HttpHeaderLine::Kind::HtmlStart;
    } else if (line.empty()) {
        r.kind = HttpHeaderLine::Kind::EndOfHeader;
    } else if (line.substr(0, 8) == "HTTP/1.0" || line.substr(0, 8) == "HTTP/1.1") {
        r.kind = HttpHeaderLine::Kind::StatusLine;
        int64_t status = 0;
        r.validStatus = parseHttpDecimal(textCopy(line, 10, 3), status);
        r.statusCode = r.validStatus ? static_cast<int>(status) : 0;
        r.reasonPhrase = textCopy(line, 14, INT32_MAX);
    } else if (const size_t colon = line.find(':'); colon != std::string_view::npos) {
        r.kind = HttpHeaderLine::Kind::Field;
        r.name = textLower(line.substr(0, colon));
        r.value = textTrim(line.substr(colon + 1));
    }
    return r;
}

} // namespace lumi
