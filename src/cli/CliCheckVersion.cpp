// lumisift-cli check-version: the start-up version check without windows. It prints what the
// program would do for each line of the maker's version file and records versions as the
// program does; no question is shown and no page opened.
#include <cstdio>
#include <string>

#include <QEventLoop>

#include "base/AppPaths.h"
#include "base/IniFiles.h"
#include "cli/Commands.h"
#include "engine/unitVersionCheck.h"

namespace lumi::cli {

namespace {

int checkVersionUsage() {
    std::fprintf(stderr, "usage: lumisift-cli check-version [--store FILE]\n");
    return 2;
}

void printOutcome(const TCheckResult& line, VersionOutcome outcome) {
    const std::string name = productName(line.ProductKey);
    switch (outcome) {
    case VersionOutcome::Offered:
        printLine("offer\t" + name + "\t" + line.Version + "\t" + line.DownloadURL);
        break;
    case VersionOutcome::Ignored:
        printLine("ignore\t" + name + "\t" + line.Version + "\t" + line.DownloadURL);
        break;
    case VersionOutcome::Recorded:
        printLine("record\t" + name + "\t" + line.Version);
        break;
    case VersionOutcome::Same:
        printLine("same\t" + name);
        break;
    case VersionOutcome::Deferred:
        printLine("defer\t" + name + "\t" + line.Version);
        break;
    case VersionOutcome::Failed:
        break;
    }
}

} // namespace

int runCheckVersion(int argc, char** argv) {
    std::string store;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--store" && i + 1 < argc)
            store = argv[++i];
        else
            return checkVersionUsage();
    }

    VersionCheck check(UserRegistry(store.empty() ? registryStorePath() : store));
    QEventLoop loop;
    bool finished = false;
    bool parsed = false;
    check.ShowMessage = [](const std::string& message) {
        std::fprintf(stderr, "lumisift-cli: %s\n", message.c_str());
    };
    // The question counts as asked and answered No: the version is recorded, nothing opens.
    check.AskYesNo = [](const std::string&) { return false; };
    check.OnChecked = &printOutcome;
    check.OnNote = [](const std::string& note) {
        std::fprintf(stderr, "lumisift-cli: %s\n", note.c_str());
    };
    check.OnFinished = [&](bool fileArrived) {
        finished = true;
        parsed = fileArrived;
        loop.quit();
    };
    check.Proxy = proxyFromSettings(TIniFile(settingsFilePath()));
    check.StartVersionCheck();
    if (!finished) loop.exec();
    std::fflush(stdout);
    if (!parsed)
        std::fprintf(stderr, "lumisift-cli: no version file from %s\n", versionFileUrl().c_str());
    return parsed ? 0 : 1;
}

} // namespace lumi::cli
