#include "PhraseToken.h"

namespace lumi::sandbox {

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace

std::string phraseToken(const std::string& phrase) {
    static const char digits[] = "0123456789abcdef";
    std::string token = "q";
    const std::size_t n = std::min(phrase.size(), kMaxPhraseBytes);
    token.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        const auto byte = static_cast<unsigned char>(phrase[i]);
        token += digits[byte >> 4];
        token += digits[byte & 15];
    }
    return token;
}

bool phraseFromToken(const std::string& token, std::string& phrase) {
    phrase.clear();
    if (token.empty() || token[0] != 'q' || token.size() % 2 != 1 ||
        token.size() > kMaxPhraseBytes * 2 + 1)
        return false;
    for (std::size_t i = 1; i < token.size(); i += 2) {
        const char hi = token[i];
        const char lo = token[i + 1];
        // Only the lower-case form is produced, so only it is accepted: one phrase, one token.
        if ((hi >= 'A' && hi <= 'F') || (lo >= 'A' && lo <= 'F')) return false;
        const int h = hexValue(hi);
        const int l = hexValue(lo);
        if (h < 0 || l < 0) return false;
        phrase += static_cast<char>(h * 16 + l);
    }
    return true;
}

std::string decodeQueryPhrase(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size() && out.size() < kMaxPhraseBytes; ++i) {
        const char c = raw[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < raw.size() && hexValue(raw[i + 1]) >= 0 &&
                   hexValue(raw[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(raw[i + 1]) * 16 + hexValue(raw[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string rawQueryValue(const std::string& target, const std::string& key) {
    const auto at = target.find(key);
    if (at == std::string::npos) return {};
    const auto from = at + key.size();
    const auto to = target.find('&', from);
    return target.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

uint64_t stableHash(const std::string& text, uint64_t basis) {
    uint64_t h = basis;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

} // namespace lumi::sandbox
