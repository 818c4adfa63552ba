#pragma once
// The window program's default handler: an exception that escapes a handler without a
// catch-all of its own is shown in a message box with its message, and the program goes on.
#include <QApplication>

namespace lumi {

// Installs the message-box presenter for runUnderDefaultHandler().
void installMessageBoxDefaultHandler();

// Last resort behind the wrapper: nothing thrown inside an event handler leaves notify().
class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace lumi
