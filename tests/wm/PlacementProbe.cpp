// One start and close of the main window on a real display, for the placement tests: opens
// TForm1 over the settings file named on the command line, waits until the window manager
// has framed the window and left it in place, closes it (which saves the placement) and
// prints the frame's margins as "margins LEFT TOP".
#include <cstdio>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWindow>

#include "shell/Main.h"

namespace {

// Bound of the wait for the window manager.
constexpr int SettleLimitMs = 10000;
// The window counts as settled once its frame is known and nothing moved for this long.
constexpr int QuietMs = 300;

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: placement-probe SETTINGS_FILE\n");
        return 2;
    }
    TForm1 form(argv[1]);
    form.AskYesNo = [](const QString&) { return false; };
    form.OpenBrowser = [](const QUrl&) { return false; };
    form.show();

    QElapsedTimer waited, quiet;
    waited.start();
    quiet.start();
    QRect lastFrame = form.frameGeometry();
    while (waited.elapsed() < SettleLimitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
        if (form.frameGeometry() != lastFrame) {
            lastFrame = form.frameGeometry();
            quiet.restart();
        }
        const bool framed = form.geometry() != form.frameGeometry();
        if (framed && form.windowHandle() && form.windowHandle()->isExposed() &&
            quiet.elapsed() >= QuietMs)
            break;
    }
    const QPoint margin = form.geometry().topLeft() - form.frameGeometry().topLeft();
    std::printf("margins %d %d\n", margin.x(), margin.y());
    std::fflush(stdout); // a sanitizer ending the process at exit does not flush it
    form.close();
    return 0;
}
