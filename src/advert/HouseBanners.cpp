#include "HouseBanners.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#include "BannerFont.h"

namespace advert {

namespace {

struct Banner {
    const char* title;
    const char* line;
    uint32_t top, bottom, accent, text;
};

constexpr Banner Banners[] = {
    {"LUMISIFT", "Finds JPEG pictures on the web", 0x16305A, 0x060C18, 0xFFC84A, 0xEEF1F5},
    {"SLIDE SHOW", "See everything you found", 0x4A1E5C, 0x12061A, 0xFF8AD0, 0xF5EEF5},
    {"SMART SAVE", "Files named after your search", 0x0E4A44, 0x031614, 0x6CF2D8, 0xEEF5F3},
    {"FREEWARE", "Tell a friend about Lumisift", 0x5A3A10, 0x181004, 0xFFE07A, 0xF5F1EA},
};
constexpr int Count = sizeof(Banners) / sizeof(Banners[0]);

// The canvas with clipping: nothing is ever written outside width x height.
struct Canvas {
    uint32_t* pixels;
    int width, height, bytesPerLine;

    void put(int x, int y, uint32_t colour) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        auto* line = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) +
                                                 static_cast<ptrdiff_t>(y) * bytesPerLine);
        line[x] = 0xFF000000u | colour;
    }
    void fill(int x, int y, int w, int h, uint32_t colour) const {
        for (int j = std::max(0, y); j < std::min(height, y + h); ++j)
            for (int i = std::max(0, x); i < std::min(width, x + w); ++i)
                put(i, j, colour);
    }
};

uint32_t mix(uint32_t a, uint32_t b, int num, int den) {
    auto channel = [&](int shift) {
        const int ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        return static_cast<uint32_t>(ca + (cb - ca) * num / std::max(1, den)) << shift;
    };
    return channel(16) | channel(8) | channel(0);
}

int textWidth(const std::string& text, int scale) {
    return text.empty() ? 0 : static_cast<int>(text.size()) * GlyphAdvance * scale - scale;
}

void drawText(const Canvas& c, const std::string& text, int x, int y, int scale, uint32_t colour) {
    for (size_t n = 0; n < text.size(); ++n) {
        const uint8_t* rows = glyphRows(text[n]);
        const int left = x + static_cast<int>(n) * GlyphAdvance * scale;
        for (int row = 0; row < GlyphHeight; ++row)
            for (int col = 0; col < GlyphWidth; ++col)
                if (rows[row] & (0x10 >> col))
                    c.fill(left + col * scale, y + row * scale, scale, scale, colour);
    }
}

// Words of text wrapped into lines no wider than width at scale; empty when a word is wider.
std::vector<std::string> wrap(const std::string& text, int width, int scale) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        if (textWidth(word, scale) > width) return {};
        if (!lines.empty() && textWidth(lines.back() + " " + word, scale) <= width)
            lines.back() += " " + word;
        else
            lines.push_back(word);
        at = end + 1;
    }
    return lines;
}

struct Block {
    std::vector<std::string> lines;
    int scale = 0;
    int height() const { return static_cast<int>(lines.size()) * (GlyphHeight + 2) * scale; }
};

// The largest scale (up to maxScale) at which text fits the box; scale 0 when none does.
Block fit(const std::string& text, int width, int height, int maxScale) {
    for (int scale = maxScale; scale >= 1; --scale) {
        Block b{wrap(text, width, scale), scale};
        if (!b.lines.empty() && b.height() - 2 * scale <= height) return b;
    }
    return {};
}

void drawBlock(const Canvas& c, const Block& b, int x, int y, int width, uint32_t colour) {
    for (size_t n = 0; n < b.lines.size(); ++n) {
        const int lineY = y + static_cast<int>(n) * (GlyphHeight + 2) * b.scale;
        drawText(c, b.lines[n], x + (width - textWidth(b.lines[n], b.scale)) / 2, lineY, b.scale,
                 colour);
    }
}

// A framed photograph: sky, sun and two hills, in a square of side size.
void drawPicture(const Canvas& c, int x, int y, int size, const Banner& b) {
    c.fill(x, y, size, size, b.accent);
    const int inner = size - 4;
    for (int j = 0; j < inner; ++j)
        c.fill(x + 2, y + 2 + j, inner, 1, mix(0x6FA8DC, 0xCFE6F7, j, inner));
    const int sun = std::max(1, inner / 6);
    for (int j = -sun; j <= sun; ++j)
        for (int i = -sun; i <= sun; ++i)
            if (i * i + j * j <= sun * sun)
                c.put(x + 2 + inner * 3 / 4 + i, y + 2 + inner / 4 + j, 0xFFE07A);
    for (int i = 0; i < inner; ++i) {
        const int near = inner - std::abs(i - inner / 3) * 2 / 3 - inner / 3;
        const int far = inner - std::abs(i - inner * 3 / 4) / 2 - inner / 4;
        c.fill(x + 2 + i, y + 2 + std::max(far, 0), 1, inner - std::max(far, 0), 0x3E7A4A);
        c.fill(x + 2 + i, y + 2 + std::max(near, 0), 1, inner - std::max(near, 0), 0x2A5A32);
    }
}

} // namespace

int houseBannerCount() {
    return Count;
}

void drawHouseBanner(int index, uint32_t* pixels, int width, int height, int bytesPerLine) {
    if (!pixels || width <= 0 || height <= 0) return;
    const Canvas c{pixels, width, height, bytesPerLine};
    const Banner& b = Banners[((index % Count) + Count) % Count];
    for (int y = 0; y < height; ++y)
        c.fill(0, y, width, 1, mix(b.top, b.bottom, y, height));
    c.fill(0, 0, width, 1, b.accent);
    c.fill(0, height - 1, width, 1, b.accent);
    c.fill(0, 0, 1, height, b.accent);
    c.fill(width - 1, 0, 1, height, b.accent);

    // Wide banners put the picture at the left, tall ones on top, when the title still fits
    // beside or under it; narrow ones give the text their whole width but the border.
    const int margin = std::max(3, std::min(width, height) / 12);
    int textX = margin, textY = margin, textW = width - 2 * margin, textH = height - 2 * margin;
    const int leftSide = height - 2 * margin;
    const int topSide = std::min(width - 2 * margin, height / 3);
    if (width >= 2 * height && height >= 28 &&
        !wrap(b.title, textW - leftSide - margin, 1).empty()) {
        drawPicture(c, margin, margin, leftSide, b);
        textX += leftSide + margin;
        textW -= leftSide + margin;
    } else if (height >= 2 * width || (width >= 100 && height >= 100)) {
        drawPicture(c, (width - topSide) / 2, margin, topSide, b);
        textY += topSide + margin;
        textH -= topSide + margin;
    }
    if (wrap(b.title, textW, 1).empty() && textX == margin) {
        textX = 1;
        textW = width - 2;
    }
    // The largest title that leaves room for the line under it; else the title alone.
    Block title, line;
    for (int scale = 4; scale >= 1 && !line.scale; --scale) {
        const Block t = fit(b.title, textW, textH, scale);
        if (t.scale != scale) continue;
        if (!title.scale) title = t;
        const Block l = fit(b.line, textW, textH - t.height() - 2 * scale, std::max(1, scale / 2));
        if (l.scale) {
            title = t;
            line = l;
        }
    }
    if (!title.scale) return;
    const int gap = title.scale * 2;
    const int used = title.height() + (line.scale ? gap + line.height() : 0);
    const int top = textY + std::max(0, (textH - used) / 2);
    drawBlock(c, title, textX, top, textW, b.accent);
    if (line.scale) drawBlock(c, line, textX, top + title.height() + gap, textW, b.text);
}

} // namespace advert
