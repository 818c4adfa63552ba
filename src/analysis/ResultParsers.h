#pragma once
// The readers of the four search services' result pages. Each cuts addresses out of the
// page's lines by fixed text markers and hands them to the engine: found pages to the page
// queue with engine number 99, images by the live "Check Links" state, and the service's
// own further result pages back to the page queue with its own engine number.
#include <string>

#include "analysis/PageRouting.h"

void ExractDataFromHotBot(lumi::SearchHost& host, const lumi::PageLines& lines);
void ExractDataFromLycos(lumi::SearchHost& host, const lumi::PageLines& lines);
void ExractDataFromLycosImagesDirect(lumi::SearchHost& host, const lumi::PageLines& lines);
// Reports a failure as a line of the diagnostics memo, not through ReportError.
void ExractDataFromScourNet(lumi::SearchHost& host, const lumi::PageLines& lines);

namespace lumi {

// The origin of LUMISIFT_LYCOS_HOST (hostOrigin), read at each call.
std::string lycosBase();
// The origin of LUMISIFT_SCOURNET_SITE, the service's main site (not its search host).
std::string scourNetSiteBase();

// Hands an image address on as the "Check Links" box says at this moment: to the link
// check, or straight into the results list with its size unknown.
void handOffImage(SearchHost& host, const std::string& address);

} // namespace lumi
