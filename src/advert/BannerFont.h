#pragma once
// A 5 x 7 pixel font for the house banners: capitals, digits and a little punctuation, so
// the engine can draw its texts without a font library.
#include <cstdint>

namespace advert {

inline constexpr int GlyphWidth = 5;
inline constexpr int GlyphHeight = 7;
// Pixels from one glyph's left edge to the next one's.
inline constexpr int GlyphAdvance = GlyphWidth + 1;

// The rows of a character's glyph, top first; bit 4 is the leftmost pixel. Lower-case
// letters draw as capitals; characters without a glyph draw as a blank.
const uint8_t* glyphRows(char c);

} // namespace advert
