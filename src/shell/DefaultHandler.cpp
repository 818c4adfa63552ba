#include "shell/DefaultHandler.h"

#include <QMessageBox>

#include "base/ErrorReport.h"

namespace lumi {

void installMessageBoxDefaultHandler() {
    setDefaultHandlerPresenter([](const std::string& message) {
        QMessageBox::critical(QApplication::activeWindow(), QCoreApplication::applicationName(),
                              QString::fromLatin1(message.c_str()));
    });
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    runUnderDefaultHandler([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace lumi
