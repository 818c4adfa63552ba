#include "base/TextOps.h"

#include <cstring>
#include <stdexcept>

namespace lumi {

int textPos(std::string_view sub, std::string_view text) {
    if (sub.empty() || text.empty()) return 0;
    const auto at = text.find(sub);
    return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

std::string textLower(std::string_view text) {
    std::string out;
    lowerInto(text, out);
    return out;
}

int textPosAnyCase(std::string_view sub, std::string_view text) {
    return textPos(textLower(sub), textLower(text));
}

std::string textCopy(std::string_view text, int64_t index, int64_t count) {
    if (index < 1) index = 1;
    const auto size = static_cast<int64_t>(text.size());
    if (index > size || count <= 0) return {};
    const int64_t available = size - index + 1;
    return std::string(text.substr(static_cast<size_t>(index - 1),
                                   static_cast<size_t>(count < available ? count : available)));
}

void textDelete(std::string& text, int64_t index, int64_t count) {
    const auto size = static_cast<int64_t>(text.size());
    if (index < 1 || index > size || count <= 0) return;
    const int64_t available = size - index + 1;
    text.erase(static_cast<size_t>(index - 1),
               static_cast<size_t>(count < available ? count : available));
}

std::string textTrim(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32)
        --last;
    return std::string(text.substr(first, last - first));
}

std::string textFileExt(std::string_view text) {
    const auto at = text.find_last_of(".\\:");
    if (at == std::string_view::npos || text[at] != '.') return {};
    return std::string(text.substr(at));
}

bool textSameAnyCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    size_t i = 0;
    for (; i + 8 <= a.size(); i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y && wordLower(x) != wordLower(y)) return false;
    }
    for (; i < a.size(); ++i)
        if (charLower(a[i]) != charLower(b[i])) return false;
    return true;
}

bool textContains(std::string_view text, std::string_view sub) {
    return textPos(sub, text) > 0;
}

std::string textReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    size_t start = 0;
    for (auto at = text.find(from); at != std::string_view::npos; at = text.find(from, start)) {
        out.append(text.substr(start, at - start));
        out.append(to);
        start = at + from.size();
    }
    out.append(text.substr(start));
    return out;
}

namespace {
int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const char lower = charLower(c);
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return -1;
}
} // namespace

bool parseInteger(std::string_view text, int32_t& value) {
    if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint64_t v = 0;
        for (char c : text.substr(2)) {
            const int d = hexDigit(c);
            if (d < 0) return false;
            v = v * 16 + static_cast<uint64_t>(d);
            if (v > 0xFFFFFFFFull) return false;
        }
        // Eight hex digits may set the sign bit, as the classic reader allows.
        value = static_cast<int32_t>(static_cast<uint32_t>(v));
        return true;
    }
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > 2147483647LL) return false;
    value = static_cast<int32_t>(v);
    return true;
}

std::string incrementCounterText(std::string_view text) {
    int32_t n = 0;
    if (!parseInteger(text, n))
        throw std::invalid_argument("'" + std::string(text) + "' is not a valid integer value");
    return std::to_string(static_cast<int64_t>(n) + 1);
}

} // namespace lumi
