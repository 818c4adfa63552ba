#pragma once
// The one entry from the engine into the page analysis: a finished page's lines go to the
// routine its engine number names (1 ScourNet, 2 HotBot, 3 Lycos, 4 Lycos Images Direct,
// 99 ordinary page, 0 thumbnail page); any other number drops the lines.
#include <string>
#include <vector>

#include "analysis/SearchHost.h"

namespace lumi {

using PageLines = std::vector<std::string>;

void routePageByEngine(SearchHost& host, int engine, const PageLines& lines,
                       const std::string& pageUrl);

} // namespace lumi
