#pragma once
// SIGINT, SIGTERM and SIGHUP to the window program (a desktop logout sends the last two):
// each is taken as Abort of a running download, whose stop removes its temporaries, and then
// the program quits through its event loop, so that every transfer is ended in order.
#include <memory>

#include <QObject>

#include "base/StopSignals.h"

class Tfrm_Download;

namespace lumi {

class WindowSignals : public QObject {
public:
    explicit WindowSignals(Tfrm_Download& progress, QObject* parent = nullptr);

private:
    std::unique_ptr<StopSignals> signals_;
};

} // namespace lumi
