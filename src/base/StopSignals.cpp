#include "base/StopSignals.h"

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace lumi {

namespace {
constexpr std::array<int, 3> StopSignalNumbers = {SIGINT, SIGTERM, SIGHUP};
// The write end for the handler; only async-signal-safe calls touch it.
volatile sig_atomic_t signalPipe = -1;
struct sigaction previous[StopSignalNumbers.size()];

extern "C" void onStopSignal(int number) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    // A full pipe already holds a signal to act on: losing this byte loses nothing.
    if (signalPipe >= 0 && ::write(signalPipe, &byte, 1) < 0) {
    }
    errno = savedErrno;
}
} // namespace

StopSignals::StopSignals() {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    signalPipe = pipe_[1];
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this,
                     [this] { readSignals(); });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < StopSignalNumbers.size(); ++i)
        ::sigaction(StopSignalNumbers[i], &action, &previous[i]);
}

StopSignals::~StopSignals() {
    if (pipe_[0] < 0) return;
    for (size_t i = 0; i < StopSignalNumbers.size(); ++i)
        ::sigaction(StopSignalNumbers[i], &previous[i], nullptr);
    signalPipe = -1;
    notifier_.reset();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void StopSignals::readSignals() {
    char numbers[16];
    ssize_t got;
    while ((got = ::read(pipe_[0], numbers, sizeof numbers)) > 0)
        for (ssize_t i = 0; i < got; ++i)
            if (OnSignal) OnSignal(numbers[i]);
}

} // namespace lumi
