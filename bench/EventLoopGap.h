#pragma once
// The longest time the event loop goes without turning: a 1 ms timer notes the gap between
// its ticks while counting() holds (always, when unset), from start() on.
#include <algorithm>
#include <chrono>
#include <functional>

#include <QTimer>

namespace lumi::bench {

class EventLoopGap {
public:
    explicit EventLoopGap(std::function<bool()> counting = {}) : counting_(std::move(counting)) {
        tick_.setInterval(1);
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            if ((!counting_ || counting_()) && last_ != Clock::time_point{})
                longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
    }
    void start() {
        last_ = {};
        longest_ = {};
        tick_.start();
    }
    double longestMs() const { return std::chrono::duration<double, std::milli>(longest_).count(); }

private:
    using Clock = std::chrono::steady_clock;
    std::function<bool()> counting_;
    QTimer tick_;
    Clock::time_point last_{};
    Clock::duration longest_{};
};

} // namespace lumi::bench
