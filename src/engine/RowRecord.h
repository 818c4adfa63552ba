#pragma once
// One results-list row as a JSON object on one line: the picture's address, its size
// ("size": bytes, or null when unknown) and where it came from (service, the credited one;
// services, every finder, the credited one first; page, title, creator, creator_url,
// licence, licence_url, provider, source, width and height in pixels or null, and
// "thumbnail" when the archive sent one). Text fields are UTF-8; unknown ones are "".
#include <string>
#include <string_view>

#include "analysis/SearchServices.h"

namespace lumi {

class SearchEngine;

std::string rowJsonLine(const SearchEngine& engine, size_t row);

// The inverse, for a row read back (`download --from`): the address and its source. False
// for a line that is no JSON object with an http(s) "url"; a service it does not know is None.
bool rowFromJsonLine(std::string_view line, std::string& url, PictureSource& source);

} // namespace lumi
