#pragma once
// Turns SIGINT, SIGTERM and SIGHUP into an event on the Qt event loop, so that a command can
// stop its work in order (abort transfers, remove their temporary files) before it exits.
// One instance at a time; the previous handlers come back when it is destroyed.
#include <functional>
#include <memory>

#include <QObject>

class QSocketNotifier;

namespace lumi {

class StopSignals : public QObject {
public:
    StopSignals();
    ~StopSignals() override;

    // Runs on the event loop with the signal's number, once per signal received.
    std::function<void(int signal)> OnSignal;

    // The exit status of a command ended by signal: 128 + its number.
    static int exitStatus(int signal) { return 128 + signal; }

private:
    void readSignals();

    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace lumi
