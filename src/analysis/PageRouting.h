#pragma once
// The one entry from the engine into the page analysis: a finished page's lines go to the
// routine its engine number names (1 ScourNet, 2 HotBot, 3 Lycos, 4 Lycos Images Direct,
// 99 ordinary page, 0 thumbnail page); any other number drops the lines.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "analysis/SearchHost.h"

namespace lumi {

using PageLines = std::vector<std::string>;

void routePageByEngine(SearchHost& host, int engine, const PageLines& lines,
                       const std::string& pageUrl);

// The same routing for one page, done in slices: run() goes on where the last call stopped,
// so a large page can be analysed over several turns of an event loop. Run to the end, it
// hands on exactly what routePageByEngine does, in the same order. Owns the page's lines
// and address; host must outlive it.
class PageAnalysis {
public:
    PageAnalysis(SearchHost& host, int engine, PageLines lines, std::string pageUrl);
    PageAnalysis(const PageAnalysis&) = delete;
    PageAnalysis& operator=(const PageAnalysis&) = delete;

    // Works until the analysis is complete or `budget` has passed (at least one step is
    // always taken); true once complete.
    bool run(std::chrono::steady_clock::duration budget);
    const std::string& pageUrl() const { return pageUrl_; }

private:
    PageLines lines_;
    std::string pageUrl_;
    std::function<bool()> step_; // false once nothing is left
};

} // namespace lumi
