#include "analysis/PageRouting.h"

#include <memory>

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

namespace lumi {

PageAnalysis::PageAnalysis(SearchHost& host, int engine, PageLines lines, std::string pageUrl)
    : lines_(std::move(lines)), pageUrl_(std::move(pageUrl)) {
    // Only ordinary and thumbnail pages can be large enough to need slices; result pages of
    // the services are read in one step.
    if (engine == 99) {
        step_ = [steps = std::make_shared<ExtractLoopSteps>(host, lines_, pageUrl_)] {
            return steps->step();
        };
    } else if (engine == 0) {
        step_ = [steps = std::make_shared<ThumbnailPageSteps>(host, lines_, pageUrl_)] {
            return steps->step();
        };
    } else {
        step_ = [this, &host, engine] {
            routePageByEngine(host, engine, lines_, pageUrl_);
            return false;
        };
    }
}

bool PageAnalysis::run(std::chrono::steady_clock::duration budget) {
    const auto until = std::chrono::steady_clock::now() + budget;
    while (step_()) {
        if (std::chrono::steady_clock::now() >= until) return false;
    }
    step_ = [] { return false; };
    return true;
}

} // namespace lumi
