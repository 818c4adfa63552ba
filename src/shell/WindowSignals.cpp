#include "shell/WindowSignals.h"

#include <QCoreApplication>

#include "files/unit_Download.h"

namespace lumi {

WindowSignals::WindowSignals(Tfrm_Download& progress, QObject* parent)
    : QObject(parent), signals_(std::make_unique<StopSignals>()) {
    signals_->OnSignal = [&progress](int) {
        // Closing the progress window ends its batch; quitting then leaves every loop, the
        // modal one included, and the windows stop what else runs as they go.
        if (progress.isVisible()) progress.BitBtn1Click();
        QCoreApplication::quit();
    };
}

} // namespace lumi
