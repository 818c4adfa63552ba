#include "analysis/PageRouting.h"

#include "analysis/ResultParsers.h"
#include "analysis/unit_LinkExtractor.h"

namespace lumi {

void routePageByEngine(SearchHost& host, int engine, const PageLines& lines,
                       const std::string& pageUrl) {
    switch (engine) {
    case 1:
        ExractDataFromScourNet(host, lines);
        break;
    case 2:
        ExractDataFromHotBot(host, lines);
        break;
    case 3:
        ExractDataFromLycos(host, lines);
        break;
    case 4:
        ExractDataFromLycosImagesDirect(host, lines);
        break;
    case 99:
        StartExtractLoop(host, lines, pageUrl);
        break;
    case 0:
        CheckNewPageForSrc(host, lines, pageUrl);
        break;
    default:
        break; // no reader for this number: the page is dropped
    }
}

} // namespace lumi
