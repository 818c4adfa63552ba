#pragma once
// Helpers for walking a page text by positions instead of deleting from its front, which
// keeps the page analysis linear in the page size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/TextOps.h"

namespace lumi {

inline bool contains(std::string_view text, std::string_view marker) {
    return text.find(marker) != std::string_view::npos;
}

// First occurrence of marker at or after from, letter case of text ignored. marker is in
// small letters and does not begin with a letter (so its first byte is found directly).
inline size_t findAnyCase(std::string_view text, std::string_view marker, size_t from) {
    const size_t n = marker.size();
    while (from + n <= text.size()) {
        const void* hit = std::memchr(text.data() + from, marker[0], text.size() - from - n + 1);
        if (!hit) break;
        const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
        size_t k = 1;
        while (k < n) {
            const unsigned char c = static_cast<unsigned char>(text[at + k]);
            if ((c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c) !=
                static_cast<unsigned char>(marker[k]))
                break;
            ++k;
        }
        if (k == n) return at;
        from = at + 1;
    }
    return std::string_view::npos;
}

// Finds the first occurrence of one marker at or after a position that only moves forward.
// The last hit is kept, so a whole walk over the text scans it about once per marker.
class ForwardFinder {
public:
    enum class Case { Exact, Any };
    ForwardFinder(std::string_view text, std::string_view marker, Case letterCase = Case::Exact)
        : text_(text), marker_(marker), anyCase_(letterCase == Case::Any) {}

    // 0-based index of the first occurrence starting at or after from; npos when none.
    size_t next(size_t from) {
        if (known_ && (hit_ == std::string_view::npos || hit_ >= from)) return hit_;
        hit_ = anyCase_ ? findAnyCase(text_, marker_, from) : text_.find(marker_, from);
        known_ = true;
        return hit_;
    }

private:
    std::string_view text_;
    std::string_view marker_;
    bool anyCase_;
    size_t hit_ = std::string_view::npos;
    bool known_ = false;
};

} // namespace lumi
