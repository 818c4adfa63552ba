// The window program's start: the application, then the windows in their fixed order (the
// main window first, the others hidden until a command shows them), then the event loop
// until the main window closes. A picture file named on the command line opens in the
// viewer, so the program can serve as "Open with" for pictures.
#include "base/AppPaths.h"
#include "base/DescriptorLimit.h"
#include "base/ProgramArguments.h"
#include "files/unit_Download.h"
#include "files/untExtract.h"
#include "shell/DefaultHandler.h"
#include "shell/Commands.h"
#include "shell/Main.h"
#include "shell/Unit2.h"
#include "shell/ViewerPanel.h"
#include "shell/WindowSignals.h"
#include "shell/unit_About.h"
#include "shell/unit_Options.h"

namespace {
const char* const kUsage =
    "usage: lumisift [PICTURE]\n"
    "       lumisift --help | --version\n"
    "Finds JPEG pictures on the web for a search phrase.\n"
    "\n"
    "  PICTURE      a picture file handed over by the desktop (\"Open with\")\n"
    "  -h, --help   print this help and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "environment: LUMISIFT_HOTBOT_HOST, LUMISIFT_LYCOS_HOST, LUMISIFT_SCOURNET_HOST,\n"
    "  LUMISIFT_SCOURNET_SITE, LUMISIFT_MAKER_HOST name the services' hosts (HOST or HOST:PORT\n"
    "  for http, https://HOST:PORT for https); LUMISIFT_OPENVERSE_URL, LUMISIFT_COMMONS_URL,\n"
    "  LUMISIFT_SEARXNG_URL the archives' base addresses (with their scheme); LUMISIFT_CA_FILE\n"
    "  one more CA certificate file (PEM) to trust for https; LUMISIFT_ADVERT_LIBRARY the\n"
    "  sponsor banner's engine instead of libadvert.so beside the program; QT_QPA_PLATFORM and\n"
    "  the other Qt variables choose the display.\n"
    "\n"
    "settings: lumisift.ini, shared with lumisift-cli: at the root of a build tree, else\n"
    "  ~/.config/lumisift/lumisift.ini (beside the program in another folder you own).\n"
    "\n"
    "exit status: 0 once the main window is closed, 2 the command line was wrong.\n";
} // namespace

int main(int argc, char** argv) {
    // Read before the application exists, so that --help and --version work without a display.
    const lumi::ProgramCall call =
        lumi::readProgramArguments(lumi::argumentsAfterName(argc, argv), 1);
    if (call.action != lumi::ProgramCall::Action::Run)
        return lumi::answerProgramCall(call, "lumisift", kUsage);

    // Before the application and its threads: a batch of connections and files needs more
    // descriptors than the usual soft limit of 1024.
    lumi::raiseDescriptorLimit();
    lumi::GuardedApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Lumisift"));
    lumi::installMessageBoxDefaultHandler();

    TForm1 Form1(lumi::settingsFilePath());
    TForm2 Form2;
    if (Form1.Engine) Form2.attachEngine(Form1.Engine);
    Form1.Form2 = &Form2;
    Tfrm_About frm_About;
    frm_About.CallBrowser = [&Form1](const std::string& target) { Form1.CallBrowser(target); };
    Form1.Commands->frm_About = &frm_About;
    Tfrm_Options frm_Options(Form1);
    Form1.Commands->frm_Options = &frm_Options;
    // A child of the options dialog, so that it opens above that always-on-top window.
    TExtractForm ExtractForm(&frm_Options);
    frm_Options.ExtractForm = &ExtractForm;
    ExtractForm.edit_SavePath = frm_Options.edit_SavePath;
    Tfrm_Download frm_Download(&Form1);
    Form1.Commands->frm_Download = &frm_Download;
    lumi::WindowSignals stopSignals(frm_Download);

    Form1.show();
    // After the show, which restores the window's size: the picture is decoded for it, and
    // fitted again once the viewer panel has taken that size.
    if (!call.operands.empty()) {
        Form1.Viewer->ViewImages(call.operands.front());
        if (Form1.ViewerShown()) Form1.Viewer->FitPicture();
    }
    return app.exec();
}
