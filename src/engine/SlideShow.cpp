#include "engine/SlideShow.h"

#include <exception>
#include <utility>

#include "analysis/UrlUtils.h"

namespace lumi {

SlideShow::SlideShow(StringList& viewList, Hooks hooks)
    : viewList_(viewList), hooks_(std::move(hooks)) {}

SlideShow::~SlideShow() {
    removeHeld();
}

void SlideShow::removeHeld() {
    for (const Slide& slide : held_) {
        if (slide.failure.empty()) {
            try {
                hooks_.remove(slide.file);
            } catch (...) {
            }
        }
    }
    held_.clear();
}

void SlideShow::StartSlideShow() {
    SlideShowStopped = false;
    fetchFirst();
}

void SlideShow::Stop() {
    SlideShowStopped = true;
    viewList_.clear();
    removeHeld();
    hooks_.stopPause();
}

void SlideShow::pictureArrived(const std::string& file) {
    if (SlideShowStopped) {
        hooks_.stopPause();
        // Nobody will show it: it must not stay in the scratch folder.
        hooks_.remove(file);
        return;
    }
    arrived({file, {}});
}

void SlideShow::pictureFailed(const std::string& reason) {
    if (!SlideShowStopped) arrived({{}, reason.empty() ? "failed" : reason});
}

void SlideShow::arrived(Slide slide) {
    if (hooks_.pausing()) {
        held_.push_back(std::move(slide));
        return;
    }
    display(slide);
}

void SlideShow::pauseOver() {
    if (held_.empty()) return;
    const Slide slide = held_.front();
    held_.pop_front();
    display(slide);
}

void SlideShow::display(const Slide& slide) {
    // Whatever becomes of the picture, the show moves on; a failure is passed on after that.
    std::exception_ptr failure;
    try {
        if (slide.failure.empty()) {
            hooks_.show(slide.file);
            hooks_.remove(slide.file);
        } else {
            hooks_.showFailure(slide.failure);
        }
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
