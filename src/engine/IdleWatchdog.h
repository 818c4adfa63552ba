#pragma once
// The time-out of one transfer: it fires only once the limit has passed without a sign of
// life, and a sign of life costs a clock reading, not a timer re-armed for every body block.
// end() fires it at once from the event loop, so that a transfer can be ended outside the
// client's own events.
#include <chrono>
#include <functional>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace lumi {

class IdleWatchdog {
public:
    // timedOut: the limit passed quietly; false when it fires after end().
    std::function<void(bool timedOut)> OnFire;

    IdleWatchdog() {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] { fire(); });
    }
    IdleWatchdog(const IdleWatchdog&) = delete;
    IdleWatchdog& operator=(const IdleWatchdog&) = delete;

    void start(std::chrono::milliseconds limit) {
        limit_ = limit;
        ended_ = false;
        sinceActivity_.start();
        timer_.start(limit);
    }
    void alive() { sinceActivity_.restart(); }
    void end() {
        ended_ = true;
        timer_.start(0);
    }
    void stop() { timer_.stop(); }

private:
    void fire() {
        const auto quiet = std::chrono::milliseconds(sinceActivity_.elapsed());
        if (!ended_ && quiet < limit_) {
            timer_.start(limit_ - quiet);
            return;
        }
        if (OnFire) OnFire(!ended_);
    }

    QTimer timer_;
    QElapsedTimer sinceActivity_;
    std::chrono::milliseconds limit_{0};
    bool ended_ = false;
};

} // namespace lumi
