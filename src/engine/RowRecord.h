#pragma once
// One results-list row as a JSON object on one line: the picture's address, its size
// ("size": bytes, or null when unknown) and where it came from (service, page, title,
// creator, licence, licence_url). Text fields are UTF-8; unknown ones are "".
#include <string>

namespace lumi {

class SearchEngine;

std::string rowJsonLine(const SearchEngine& engine, size_t row);

} // namespace lumi
