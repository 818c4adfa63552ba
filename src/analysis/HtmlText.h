#pragma once
// Plain text out of the HTML the archives put in their fields (Commons' artist and licence,
// titles with entities): what credits and the list show must read as text, not markup.
#include <string>
#include <string_view>

namespace lumi {

// Tags dropped; named entities (the common ones) and numeric ones ("&#160;", "&#x27;")
// decoded to UTF-8, a no-break space to a blank; runs of white space made one blank and
// trimmed. An entity it does not know stays as written.
std::string plainTextOfHtml(std::string_view html);

} // namespace lumi
