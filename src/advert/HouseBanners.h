#pragma once
// The house banners the engine rotates: each one a gradient panel with a picture motif, the
// program's name and a line about one of its features, laid out for any banner size.
#include <cstdint>

namespace advert {

// How many house banners there are.
int houseBannerCount();
// Draws banner number index (taken modulo the count) over every pixel of the canvas: 32-bit
// 0xffRRGGBB pixels, bytesPerLine apart from line to line.
void drawHouseBanner(int index, uint32_t* pixels, int width, int height, int bytesPerLine);

} // namespace advert
