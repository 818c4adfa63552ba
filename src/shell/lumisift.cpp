// The window program's start: the application, then the windows in their fixed order (the
// main window first, the others hidden until a command shows them), then the event loop
// until the main window closes. A picture file named on the command line opens in the
// viewer, so the program can serve as "Open with" for pictures.
#include "core/AppPaths.h"
#include "files/unit_Download.h"
#include "shell/DefaultHandler.h"
#include "shell/Main.h"
#include "shell/Unit2.h"

int main(int argc, char** argv) {
    lumi::GuardedApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Lumisift"));
    lumi::installMessageBoxDefaultHandler();

    TForm1 Form1(lumi::settingsFilePath());
    TForm2 Form2;
    if (Form1.Engine) Form2.attachEngine(Form1.Engine);
    Form1.Form2 = &Form2;
    Tfrm_Download frm_Download(&Form1);
    Form1.frm_Download = &frm_Download;

    Form1.show();
    // After the show, which restores the window's size: the picture is decoded for it, and
    // fitted again once the viewer panel has taken that size.
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) {
        Form1.ViewImages(arguments[1].toLocal8Bit().toStdString());
        if (Form1.ViewerShown()) Form1.FitPicture();
    }
    return app.exec();
}
