// The window program's start: the application, then the windows in their fixed order (the
// main window first, the others hidden until a command shows them), then the event loop
// until the main window closes.
#include "core/AppPaths.h"
#include "shell/DefaultHandler.h"
#include "shell/Main.h"
#include "shell/Unit2.h"
#include "shell/unit_About.h"

int main(int argc, char** argv) {
    lumi::GuardedApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Lumisift"));
    lumi::installMessageBoxDefaultHandler();

    TForm1 Form1(lumi::settingsFilePath());
    TForm2 Form2;
    if (Form1.Engine) Form2.attachEngine(Form1.Engine);
    Form1.Form2 = &Form2;
    Tfrm_About frm_About;
    frm_About.CallBrowser = [&Form1](const std::string& target) { Form1.CallBrowser(target); };
    Form1.frm_About = &frm_About;

    Form1.show();
    return app.exec();
}
