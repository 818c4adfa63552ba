#pragma once
// The search phrase as the engine takes it: 8-bit text, converted once from what the user
// typed, and bounded so that every service's address stays within the address bound.
#include <cstddef>
#include <string>
#include <string_view>

class QString;

namespace lumi {

// Longest phrase in bytes of its 8-bit text. Encoded, each byte takes at most three
// characters, so the longest result-page address stays well inside the engine's address
// bound for any host name of ordinary length.
inline constexpr std::size_t MaxPhraseLength = 512;

// The 8-bit text of a typed phrase. A Latin-1 character is its own byte; any other character
// becomes its decimal character reference "&#N;", as browsers send form text that the
// page's 8-bit character set cannot hold. So nothing typed is lost or silently turned into
// a different character, and a service that understands references reads the phrase typed.
std::string phraseFromUnicode(const QString& typed);

// The phrase as the picture archives read it: the typed text in Unicode's composed form (NFC)
// as UTF-8. MediaWiki, Openverse and SearXNG take their query strings as UTF-8, so the
// classic services' 8-bit form with character references would reach them garbled.
std::string archivePhraseFromUnicode(const QString& typed);

// Whether a phrase starts a search: it holds something besides blanks and control characters
// (it would otherwise ask every service for nothing) and is at most MaxPhraseLength bytes.
bool phraseCanSearch(std::string_view phrase);

} // namespace lumi
