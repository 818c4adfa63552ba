// lumisift-cli download: the Download command without a window. The addresses are named and
// saved by the same rules and the same bounded batch as in the main window; one line per
// file is printed as it completes. SIGINT, SIGTERM and SIGHUP stop the batch in order: running
// transfers are aborted and their temporary files removed, what was not saved is listed,
// and the command exits 128 + the signal's number. A reader that goes away (a closed pipe)
// stops it the same way, with SIGPIPE's status.
#include <csignal>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include <QEventLoop>

#include "analysis/UrlUtils.h"
#include "base/AppPaths.h"
#include "base/IniFiles.h"
#include "base/StopSignals.h"
#include "base/SettingKeys.h"
#include "cli/Commands.h"
#include "net/ConnectionPool.h"
#include "cli/SearchRows.h"
#include "engine/CreditsFile.h"
#include "engine/DownloadBatch.h"

namespace lumi::cli {

namespace {

struct DownloadOptions {
    std::string ini;
    std::string phrase;
    std::vector<std::string> urls;
    std::string from; // rows of "search --format jsonl"; "-" for standard input
};

int downloadUsage() {
    std::fprintf(stderr, "usage: lumisift-cli download [--ini FILE] [--phrase PHRASE] URL...\n"
                         "       lumisift-cli download [--ini FILE] [--phrase PHRASE] --from FILE|-\n");
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
        } else if (a == "--from" && hasValue) {
            o.from = argv[++i];
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return false;
        } else {
            o.urls.push_back(a);
        }
    }
    return o.from.empty() != o.urls.empty();
}

// Fields separated by one TAB, flushed at once: a reader sees each file as it completes.
// False when standard output can no longer be written.
bool printOutcome(const char* verdict, const std::string& url, const std::string& detail) {
    printLine(verdict + ("\t" + url) + "\t" + detail);
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

void showProgress(const DownloadBatch& batch) {
    std::fprintf(stderr, "\r%zu / %zu files, %lld bytes   ", batch.doneCount(),
                 batch.items().size(), static_cast<long long>(batch.savedBytes()));
}

} // namespace

int runDownload(int argc, char** argv) {
    // Files saved into the folder from now on, by any batch, are never replaced by this one.
    const timespec start = batchClock();
    DownloadOptions options;
    if (!parseDownloadOptions(argc, argv, options)) return downloadUsage();

    SearchRows rows;
    if (!options.from.empty()) {
        std::string problem;
        if (!readSearchRows(options.from, rows, problem)) {
            std::fprintf(stderr, "lumisift-cli download: %s\n", problem.c_str());
            return 2;
        }
        options.urls = rows.urls;
    }

    const std::string iniPath = options.ini.empty() ? settingsFilePath() : options.ini;
    const TIniFile settings(iniPath);
    const SavePlan plan = planBatch(options.urls, saveOptionsFromSettings(settings),
                                    MakeValidDir(options.phrase), namesInFolder, start);
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
    transfers.setConnectionPool(std::make_shared<ConnectionPool>());
    DownloadBatch batch(transfers, plan.items, transferLimit(settings));
    // The rows' sources credit the pictures as the window does.
    batch.creditInto(creditsJournalFor(*settings.Entries(), plan.saveFolder),
                     [&rows](const std::string& url) {
                         const auto it = rows.sources.find(url);
                         return it == rows.sources.end() ? nullptr : &it->second;
                     });
    const bool progress = isatty(STDERR_FILENO);
    QEventLoop loop;
    int stoppedBy = 0;
    std::vector<std::string> unfinished;
    const auto stop = [&](int signal) {
        if (stoppedBy != 0) return;
        stoppedBy = signal;
        for (const BatchItem& item : batch.items())
            if (item.state == BatchItem::State::Waiting || item.state == BatchItem::State::Running)
                unfinished.push_back(item.address);
        batch.abort();
        loop.quit();
    };
    std::set<const BatchItem*> reported;
    batch.OnItemDone = [&](const BatchItem& item) {
        reported.insert(&item);
        if (progress) std::fputs("\r\033[K", stderr);
        const bool printed = item.state == BatchItem::State::Saved
                                 ? printOutcome("saved", item.address, item.path)
                                 : printOutcome("failed", item.address, item.reason);
        if (!printed) return stop(SIGPIPE);
        if (progress) showProgress(batch);
        if (batch.finished()) loop.quit();
    };
    batch.OnStopped = [&] {
        for (const BatchItem& item : batch.items())
            if (item.state != BatchItem::State::Saved && !reported.count(&item))
                printOutcome("failed", item.address, batch.stopReason());
        loop.quit();
    };
    // A closed pipe is a write error to act on, not a death without a summary.
    std::signal(SIGPIPE, SIG_IGN);
    StopSignals signals;
    signals.OnSignal = stop;
    if (progress) showProgress(batch);
    batch.start();
    if (!batch.finished() && stoppedBy == 0 && batch.stopReason().empty()) loop.exec();
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
    const std::string summary = batch.notes();
    if (!summary.empty()) std::fprintf(stderr, "%s", summary.c_str());
    return batch.failedCount() == 0 && batch.creditsProblem().empty() && batch.stopReason().empty()
               ? 0
               : 1;
}

} // namespace lumi::cli
