// lumisift-cli download: the Download command without a window. The addresses are named and
// saved by the same rules and the same bounded batch as in the main window; one line per
// file is printed as it completes. SIGINT, SIGTERM and SIGHUP stop the batch in order: running
// transfers are aborted and their temporary files removed, what was not saved is listed,
// and the command exits 128 + the signal's number.
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include <QEventLoop>

#include "analysis/UrlUtils.h"
#include "base/AppPaths.h"
#include "base/IniFiles.h"
#include "base/SettingKeys.h"
#include "cli/Commands.h"
#include "cli/StopSignals.h"
#include "engine/DownloadBatch.h"

namespace lumi::cli {

namespace {

struct DownloadOptions {
    std::string ini;
    std::string phrase;
    std::vector<std::string> urls;
};

int downloadUsage() {
    std::fprintf(stderr, "usage: lumisift-cli download [--ini FILE] [--phrase PHRASE] URL...\n");
    return 2;
}

bool parseDownloadOptions(int argc, char** argv, DownloadOptions& o) {
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--ini" && hasValue) {
            o.ini = argv[++i];
        } else if (a == "--phrase" && hasValue) {
            o.phrase = argv[++i];
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return false;
        } else {
            o.urls.push_back(a);
        }
    }
    return !o.urls.empty();
}

// Fields separated by one TAB, flushed at once: a reader sees each file as it completes.
void printOutcome(const char* verdict, const std::string& url, const std::string& detail) {
    printLine(verdict + ("\t" + url) + "\t" + detail);
    std::fflush(stdout);
}

void showProgress(const DownloadBatch& batch) {
    std::fprintf(stderr, "\r%zu / %zu files, %lld bytes   ", batch.doneCount(),
                 batch.items().size(), static_cast<long long>(batch.savedBytes()));
}

} // namespace

int runDownload(int argc, char** argv) {
    DownloadOptions options;
    if (!parseDownloadOptions(argc, argv, options)) return downloadUsage();

    const std::string iniPath = options.ini.empty() ? settingsFilePath() : options.ini;
    const TIniFile settings(iniPath);
    const SavePlan plan = planBatch(options.urls, saveOptionsFromSettings(settings),
                                    MakeValidDir(options.phrase));
    if (plan.missingSaveFolder()) {
        // The window opens its options here; a terminal user needs the file and the key.
        std::fprintf(stderr, "%s\nSet %s in the [%s] section of %s.\n", NoSaveFolderMessage,
                     setting::SavePath.key, setting::SavePath.section, iniPath.c_str());
        return 2;
    }
    if (!plan.writeProblem.empty()) {
        std::fprintf(stderr, "%s\n", plan.writeProblem.c_str());
        return 1;
    }

    FileTransfers transfers(iniPath);
    DownloadBatch batch(transfers, plan.items, transferLimit(settings));
    const bool progress = isatty(STDERR_FILENO);
    QEventLoop loop;
    batch.OnItemDone = [&](const BatchItem& item) {
        if (progress) std::fputs("\r\033[K", stderr);
        if (item.state == BatchItem::State::Saved)
            printOutcome("saved", item.address, item.path);
        else
            printOutcome("failed", item.address, item.reason);
        if (progress) showProgress(batch);
        if (batch.finished()) loop.quit();
    };
    int stoppedBy = 0;
    std::vector<std::string> unfinished;
    StopSignals signals;
    signals.OnSignal = [&](int signal) {
        if (stoppedBy != 0) return;
        stoppedBy = signal;
        for (const BatchItem& item : batch.items())
            if (item.state == BatchItem::State::Waiting || item.state == BatchItem::State::Running)
                unfinished.push_back(item.address);
        batch.abort();
        loop.quit();
    };
    if (progress) showProgress(batch);
    batch.start();
    if (!batch.finished() && stoppedBy == 0) loop.exec();
    if (progress) std::fputc('\n', stderr);
    if (stoppedBy != 0) {
        const std::string why = std::string("Interrupted by signal ") + std::to_string(stoppedBy);
        for (const std::string& address : unfinished)
            printOutcome("failed", address, why);
        std::fprintf(stderr, "%s: %zu saved, %zu not saved\n", why.c_str(),
                     batch.doneCount() - batch.failedCount(),
                     batch.items().size() - (batch.doneCount() - batch.failedCount()));
        return StopSignals::exitStatus(stoppedBy);
    }
    return batch.failedCount() == 0 ? 0 : 1;
}

} // namespace lumi::cli
