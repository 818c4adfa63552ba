// The window program's start. The main window arrives with its own change.
#include "shell/DefaultHandler.h"

int main(int argc, char** argv) {
    lumi::GuardedApplication app(argc, argv);
    lumi::installMessageBoxDefaultHandler();
    return 0;
}
