#pragma once
// One finished page's analysis, done in slices: run() goes on where the last call stopped,
// so a large page can be analysed over several turns of an event loop. Run to the end, it
// hands on exactly what routePageByEngine does, in the same order. Owns the page's lines
// and address; host must outlive it.
#include <chrono>
#include <string>
#include <variant>

#include "analysis/PageRouting.h"
#include "analysis/SearchHost.h"
#include "analysis/unit_LinkExtractor.h"

namespace lumi {

class PageAnalysis {
public:
    PageAnalysis(SearchHost& host, int engine, PageLines lines, std::string pageUrl);
    PageAnalysis(const PageAnalysis&) = delete;
    PageAnalysis& operator=(const PageAnalysis&) = delete;

    // Works until the analysis is complete or `budget` has passed (at least one step is
    // always taken); true once complete.
    bool run(std::chrono::steady_clock::duration budget);
    const std::string& pageUrl() const { return pageUrl_; }
    int engine() const { return engine_; }

private:
    // The next piece of the work; false once nothing is left.
    bool step();

    SearchHost& host_;
    int engine_;
    PageLines lines_;
    std::string pageUrl_;
    // Only ordinary and thumbnail pages can be large enough to need slices; the services'
    // result pages (monostate) are read in one step.
    std::variant<std::monostate, ExtractLoopSteps, ThumbnailPageSteps> steps_;
    bool done_ = false;
};

} // namespace lumi
