#pragma once
// Phrase handling shared by every part of the stand-in web: the phrase as the services
// receive it, its token in site paths, and the hash that seeds everything derived from it.
#include <cstddef>
#include <cstdint>
#include <string>

namespace lumi::sandbox {

// Longer phrases are cut to this many bytes before anything is derived from them.
constexpr std::size_t kMaxPhraseBytes = 200;

// "q" and the lower-case hex of the phrase bytes. Hex keeps the marker words that the link
// extractor looks for ("src", "img", "href", "http", ".jpg") out of every path, and the
// leading "q" keeps "/a" (which it takes for the end of an anchor) out of "/w/<token>".
std::string phraseToken(const std::string& phrase);
// The inverse; false for text that no phrase produces.
bool phraseFromToken(const std::string& token, std::string& phrase);

// Decodes a phrase as it stands in a service query: "+" is a blank and "%hh" a byte; other
// bytes stay. The result is cut to kMaxPhraseBytes.
std::string decodeQueryPhrase(const std::string& raw);

// The raw value after the first occurrence of key (for example "&query=") in a request
// target, up to the next "&" (the program sends a "&" of the phrase encoded).
std::string rawQueryValue(const std::string& target, const std::string& key);

// 64-bit FNV-1a; stable across platforms and runs, unlike std::hash.
uint64_t stableHash(const std::string& text, uint64_t basis = 1469598103934665603ull);

} // namespace lumi::sandbox
