#include "analysis/PageAnalysis.h"

#include <type_traits>

namespace lumi {

PageAnalysis::PageAnalysis(SearchHost& host, int engine, PageLines lines, std::string pageUrl)
    : host_(host), engine_(engine), lines_(std::move(lines)), pageUrl_(std::move(pageUrl)) {
    if (engine == 99)
        steps_.emplace<ExtractLoopSteps>(host, lines_, pageUrl_);
    else if (engine == 0)
        steps_.emplace<ThumbnailPageSteps>(host, lines_, pageUrl_);
}

bool PageAnalysis::step() {
    return std::visit(
        [this](auto& steps) {
            if constexpr (std::is_same_v<std::decay_t<decltype(steps)>, std::monostate>) {
                routePageByEngine(host_, engine_, lines_, pageUrl_);
                return false;
            } else {
                return steps.step();
            }
        },
        steps_);
}

bool PageAnalysis::run(std::chrono::steady_clock::duration budget) {
    if (done_) return true;
    const auto until = std::chrono::steady_clock::now() + budget;
    while (step()) {
        if (std::chrono::steady_clock::now() >= until) return false;
    }
    done_ = true;
    return true;
}

} // namespace lumi
