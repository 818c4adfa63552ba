#include "analysis/HtmlText.h"

#include <cstdint>
#include <utility>

namespace lumi {

namespace {

// The entities found in the archives' fields; HTML names some two thousand more.
constexpr std::pair<std::string_view, char32_t> NamedEntities[] = {
    {"amp", '&'},       {"lt", '<'},          {"gt", '>'},          {"quot", '"'},
    {"apos", '\''},     {"nbsp", ' '},        {"mdash", 0x2014},    {"ndash", 0x2013},
    {"hellip", 0x2026}, {"lsquo", 0x2018},    {"rsquo", 0x2019},    {"ldquo", 0x201C},
    {"rdquo", 0x201D},  {"laquo", 0x00AB},    {"raquo", 0x00BB},    {"middot", 0x00B7},
    {"copy", 0x00A9},   {"reg", 0x00AE},      {"trade", 0x2122},    {"deg", 0x00B0},
    {"times", 0x00D7},  {"eacute", 0x00E9},   {"egrave", 0x00E8},   {"aacute", 0x00E1},
    {"agrave", 0x00E0}, {"iacute", 0x00ED},   {"oacute", 0x00F3},   {"uacute", 0x00FA},
    {"auml", 0x00E4},   {"ouml", 0x00F6},     {"uuml", 0x00FC},     {"Auml", 0x00C4},
    {"Ouml", 0x00D6},   {"Uuml", 0x00DC},     {"szlig", 0x00DF},    {"ccedil", 0x00E7},
    {"ntilde", 0x00F1}, {"aring", 0x00E5},    {"oslash", 0x00F8},   {"Eacute", 0x00C9},
};

void appendUtf8(std::string& out, char32_t c) {
    // NUL, surrogates and numbers past Unicode become the replacement character.
    if (c == 0 || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (c == 0xA0) c = ' ';
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character of the entity whose name (without "&" and ";") is `name`; false if unknown.
bool entityCharacter(std::string_view name, char32_t& c) {
    if (name.size() >= 2 && name[0] == '#') {
        const bool hex = name[1] == 'x' || name[1] == 'X';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty() || digits.size() > 8) return false;
        uint32_t value = 0;
        for (const char d : digits) {
            const int digit = d >= '0' && d <= '9'            ? d - '0'
                              : hex && d >= 'a' && d <= 'f'   ? d - 'a' + 10
                              : hex && d >= 'A' && d <= 'F'   ? d - 'A' + 10
                                                              : -1;
            if (digit < 0) return false;
            value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
        }
        c = value;
        return true;
    }
    for (const auto& [entity, character] : NamedEntities) {
        if (entity == name) {
            c = character;
            return true;
        }
    }
    return false;
}

// Longest entity name looked for between "&" and ";".
constexpr size_t MaxEntityName = 10;

} // namespace

std::string plainTextOfHtml(std::string_view html) {
    std::string text;
    bool inTag = false;
    for (size_t i = 0; i < html.size(); ++i) {
        const char c = html[i];
        if (inTag) {
            inTag = c != '>';
            continue;
        }
        if (c == '<') {
            inTag = true;
            continue;
        }
        if (c == '&') {
            const size_t end = html.find(';', i + 1);
            char32_t character = 0;
            if (end != std::string_view::npos && end - i - 1 <= MaxEntityName &&
                entityCharacter(html.substr(i + 1, end - i - 1), character)) {
                appendUtf8(text, character);
                i = end;
                continue;
            }
        }
        text += c;
    }
    std::string collapsed;
    for (const char c : text) {
        const bool blank = static_cast<unsigned char>(c) <= ' ';
        if (blank && (collapsed.empty() || collapsed.back() == ' ')) continue;
        collapsed += blank ? ' ' : c;
    }
    while (!collapsed.empty() && collapsed.back() == ' ')
        collapsed.pop_back();
    return collapsed;
}

} // namespace lumi
