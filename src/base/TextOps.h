#pragma once
// Classic 8-bit text operations on std::string bytes. Positions count from 1; every cut in
// the page analysis relies on these exact edge rules.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace lumi {

// Position of the first occurrence of sub in text, from 1; 0 when absent or either is empty.
int textPos(std::string_view sub, std::string_view text);
// The same search in lower-cased copies of both texts.
int textPosAnyCase(std::string_view sub, std::string_view text);
// Maps A-Z onto a-z and leaves every other byte as it is.
std::string textLower(std::string_view text);
inline char charLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
// charLower of eight bytes at once (the bytes of a word loaded with memcpy).
inline uint64_t wordLower(uint64_t word) {
    constexpr uint64_t ones = 0x0101010101010101ull;
    const uint64_t low7 = word & (0x7f * ones);
    const uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * ones; // high bit: byte > 'Z'
    const uint64_t fromA = low7 + (0x80 - 'A') * ones;      // high bit: byte >= 'A'
    const uint64_t upper = ~word & (fromA ^ aboveZ) & (0x80 * ones);
    return word | (upper >> 2);
}
// Lower-cases A-Z of text into out (every other byte unchanged), reusing out's storage.
// Eight bytes at a time: pages are lower-cased line by line on every pass.
inline void lowerInto(std::string_view text, std::string& out) {
    out.resize(text.size());
    const char* in = text.data();
    char* to = out.data();
    size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, in + i, 8);
        word = wordLower(word);
        std::memcpy(to + i, &word, 8);
    }
    for (; i < text.size(); ++i)
        to[i] = charLower(in[i]);
}

// Index below 1 is taken as 1 (count unchanged); index past the end or a negative count
// gives ""; a count past the end stops at the end.
std::string textCopy(std::string_view text, int64_t index, int64_t count);
// Nothing when index < 1, index past the end or count <= 0; a count past the end deletes
// to the end.
void textDelete(std::string& text, int64_t index, int64_t count);
// Removes bytes 0..32 at both ends.
std::string textTrim(std::string_view text);
// From the last of '.', '\\' and ':': the rest when it is '.', else "".
std::string textFileExt(std::string_view text);
// ASCII letters compared without regard to case.
bool textSameAnyCase(std::string_view a, std::string_view b);
bool textContains(std::string_view text, std::string_view sub);
// Replaces every occurrence of from (non-empty) with to, left to right.
std::string textReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Integer reading as the settings store and the counters use it: "0x"/"0X" followed by hex
// digits when the text has three or more characters, else decimal with an optional sign.
// Returns false on anything that does not parse or does not fit 32 bits.
bool parseInteger(std::string_view text, int32_t& value);
// Reads a counter label's text as a number and gives the number plus one; throws
// std::invalid_argument when the text is not a number.
std::string incrementCounterText(std::string_view text);

} // namespace lumi
