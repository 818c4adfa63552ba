#pragma once
// Plain text out of the archives' fields, read by an HTML5 parser (gumbo): what credits and
// the list show must read as text, not markup, and lose no words.
#include <string>
#include <string_view>

namespace lumi {

// A field that holds HTML (Commons' extmetadata): tags dropped, every character reference
// decoded, and "; " where a block, a list item, a line break or a table cell ends. White
// space (a no-break space too) is made one blank and trimmed; bytes that are no UTF-8, NUL
// and lone surrogates become U+FFFD. When `firstLink` is given it gets the first link's
// href ("" when none).
std::string htmlFieldText(std::string_view html, std::string* firstLink = nullptr);

// A field documented as plain text that services pass on with character references
// (Openverse's and SearXNG's titles): references decoded, a "<" kept as written, white space
// made one blank and trimmed.
std::string plainFieldText(std::string_view text);

} // namespace lumi
