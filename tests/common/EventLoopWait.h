#pragma once
// Bounded waiting in tests: runs the Qt event loop until a condition holds or time runs out.
#include <functional>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace lumi::test {

// True when done() became true within timeoutMs; events are processed meanwhile.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Runs the event loop for about ms milliseconds (for "nothing more happens" checks).
inline void spinFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

} // namespace lumi::test
