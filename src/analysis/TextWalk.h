#pragma once
// Helpers for walking a page text by positions instead of deleting from its front, which
// keeps the page analysis linear in the page size.
#include <cstddef>
#include <string>
#include <string_view>

namespace lumi {

// Finds the first occurrence of one marker at or after a position that only moves forward.
// The last hit is kept, so a whole walk over the text scans it about once per marker.
class ForwardFinder {
public:
    ForwardFinder(std::string_view text, std::string_view marker) : text_(text), marker_(marker) {}

    // 0-based index of the first occurrence starting at or after from; npos when none.
    size_t next(size_t from) {
        if (known_ && (hit_ == std::string_view::npos || hit_ >= from)) return hit_;
        hit_ = text_.find(marker_, from);
        known_ = true;
        return hit_;
    }

private:
    std::string_view text_;
    std::string_view marker_;
    size_t hit_ = std::string_view::npos;
    bool known_ = false;
};

// Lower-cases A-Z of text into out, reusing out's storage.
inline void lowerInto(std::string_view text, std::string& out) {
    out.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out[i] = static_cast<char>(static_cast<unsigned>(c - 'A') < 26u ? c + ('a' - 'A') : c);
    }
}

inline bool contains(std::string_view text, std::string_view marker) {
    return text.find(marker) != std::string_view::npos;
}

} // namespace lumi
