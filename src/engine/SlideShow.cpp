#include "engine/SlideShow.h"

#include <exception>
#include <utility>

#include "analysis/UrlUtils.h"

namespace lumi {

SlideShow::SlideShow(StringList& viewList, Hooks hooks)
    : viewList_(viewList), hooks_(std::move(hooks)) {}

SlideShow::~SlideShow() {
    for (const std::string& file : held_) {
        try {
            hooks_.remove(file);
        } catch (...) {
        }
    }
}

void SlideShow::StartSlideShow() {
    SlideShowStopped = false;
    fetchFirst();
}

void SlideShow::Stop() {
    SlideShowStopped = true;
    viewList_.clear();
}

void SlideShow::pictureArrived(const std::string& file) {
    if (SlideShowStopped) {
        hooks_.stopPause();
        // Nobody will show it: it must not stay in the scratch folder.
        hooks_.remove(file);
        return;
    }
    if (hooks_.pausing()) {
        held_.push_back(file);
        return;
    }
    display(file);
}

void SlideShow::pauseOver() {
    if (held_.empty()) return;
    const std::string file = held_.front();
    held_.pop_front();
    display(file);
}

void SlideShow::display(const std::string& file) {
    // Whatever becomes of the picture, the show moves on; a failure is passed on after that.
    std::exception_ptr failure;
    try {
        hooks_.show(file);
        hooks_.remove(file);
        hooks_.startPause();
    } catch (...) {
        failure = std::current_exception();
    }
    if (!viewList_.empty()) viewList_.removeFirst();
    fetchFirst();
    if (failure) std::rethrow_exception(failure);
}

void SlideShow::fetchFirst() {
    if (viewList_.empty()) return;
    const std::string address = viewList_.front();
    hooks_.fetch(address, ExtractFileNameFromURL(address));
}

} // namespace lumi
