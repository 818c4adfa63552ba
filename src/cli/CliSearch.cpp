// lumisift-cli search: a headless search on the engine of the main window. Prints one line
// per row as the row is added ("size-text TAB url"; JSON rows at the end) and stops when the
// search ends by itself, after a fixed time, or once the queues and pools have stayed empty
// for a while; a search still running is then aborted and the sweeps release every client.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringDecoder>
#include <QTimer>

#include "base/AppPaths.h"
#include "cli/Commands.h"
#include "engine/RowRecord.h"
#include "engine/SearchEngine.h"
#include "engine/SearchPhrase.h"
#include "net/ConnectionPool.h"

namespace lumi::cli {

namespace {

// How often the tool looks for new rows and for an idle engine.
constexpr int kPollMs = 50;
// After the abort the next sweep tick releases every client; this bounds the wait if
// something holds on.
constexpr int kReleaseWaitMs = 15000;

struct SearchOptions {
    std::string phrase;
    bool phraseSet = false;
    bool checkLinks = true;
    bool recursive = true;
    double forSeconds = -1;       // < 0: no fixed time
    double untilIdleSeconds = -1; // < 0: never stop for idleness
    bool diagnostics = false;
    bool jsonl = false; // --format jsonl; tsv otherwise
    bool stats = false;
    std::string ini;
    // --licence, --min-width, --min-height; each not given is the settings' own.
    std::optional<LicenceFilter> licence;
    std::optional<int32_t> minWidth, minHeight;
};

int searchUsage() {
    std::fprintf(stderr,
                 "usage: lumisift-cli search PHRASE [--check-links on|off] [--recursive on|off]\n"
                 "       [--for SECONDS] [--until-idle SECONDS] [--diagnostics] [--ini FILE]\n"
                 "       [--format tsv|jsonl] [--stats]\n"
                 "       [--licence any|commercial|modify|commercial,modify|pd]\n"
                 "       [--min-width PIXELS] [--min-height PIXELS]\n");
    return 2;
}

bool seconds(const std::string& text, double& out) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !(value >= 0) || value > 86400) return false;
    out = value;
    return true;
}

bool pixels(const std::string& text, std::optional<int32_t>& out) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || value < 0 || value > MaxMinimumPixels) return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool licenceWord(const std::string& text, std::optional<LicenceFilter>& out) {
    LicenceFilter filter = LicenceFilter::Any;
    if (!licenceFilterFromWord(text, filter)) return false;
    out = filter;
    return true;
}

bool parseSearchOptions(int argc, char** argv, SearchOptions& o) {
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--check-links" && hasValue) {
            if (!parseOnOff(argv[++i], o.checkLinks)) return false;
        } else if (a == "--recursive" && hasValue) {
            if (!parseOnOff(argv[++i], o.recursive)) return false;
        } else if (a == "--for" && hasValue) {
            if (!seconds(argv[++i], o.forSeconds)) return false;
        } else if (a == "--until-idle" && hasValue) {
            if (!seconds(argv[++i], o.untilIdleSeconds)) return false;
        } else if (a == "--diagnostics") {
            o.diagnostics = true;
        } else if (a == "--format" && hasValue) {
            const std::string format = argv[++i];
            if (format != "tsv" && format != "jsonl") return false;
            o.jsonl = format == "jsonl";
        } else if (a == "--licence" && hasValue) {
            if (!licenceWord(argv[++i], o.licence)) return false;
        } else if (a == "--min-width" && hasValue) {
            if (!pixels(argv[++i], o.minWidth)) return false;
        } else if (a == "--min-height" && hasValue) {
            if (!pixels(argv[++i], o.minHeight)) return false;
        } else if (a == "--stats") {
            o.stats = true;
        } else if (a == "--ini" && hasValue) {
            o.ini = argv[++i];
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return false;
        } else if (!o.phraseSet) {
            o.phrase = a;
            o.phraseSet = true;
        } else {
            return false;
        }
    }
    return o.phraseSet;
}

// Whether the terminal's text is a phrase the phrase box could hold: UTF-8 whose 8-bit form
// fits. Prints why and returns false for a phrase no search takes.
bool phraseFromTerminal(const std::string& typed) {
    QStringDecoder fromUtf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text =
        fromUtf8(QByteArrayView(typed.data(), static_cast<qsizetype>(typed.size())));
    if (fromUtf8.hasError()) {
        std::fprintf(stderr, "lumisift-cli search: the phrase is not UTF-8 text\n");
        return false;
    }
    const std::string phrase = phraseFromUnicode(text);
    if (phrase.size() > MaxPhraseLength) {
        std::fprintf(stderr,
                     "lumisift-cli search: the phrase is longer than %zu characters (%zu)\n",
                     MaxPhraseLength, phrase.size());
        return false;
    }
    return true;
}

bool engineIdle(const SearchEngine& engine) {
    return engine.GetPageQueue.empty() && engine.CheckLinkQueue.empty() &&
           engine.GetPageClients.empty() && engine.CheckLinkClients.empty();
}

// Rows not printed yet: row i belongs to FoundList entry i. JSON rows wait for the search's
// end, since a later service's find of the same picture may still credit a row anew.
void printNewRows(SearchEngine& engine, size_t& printed, bool jsonl, bool ended) {
    const auto& results = engine.results();
    while (printed < results.totalRows() && printed < engine.FoundList.size()) {
        if (jsonl) {
            if (!ended) break;
            printLine(rowJsonLine(engine, printed++));
            continue;
        }
        const std::string& url = engine.FoundList[printed];
        const std::string& size = results.row(printed).sizeText;
        std::fwrite(size.data(), 1, size.size(), stdout);
        std::fputc('\t', stdout);
        std::fwrite(url.data(), 1, url.size(), stdout);
        std::fputc('\n', stdout);
        ++printed;
    }
    std::fflush(stdout);
}

void printDiagnostics(const SearchDisplay& d) {
    std::fprintf(stderr,
                 "Processes=%s GetPageClients=%s CheckLinkClients=%s GetPageQueue=%s "
                 "CheckLinkQueue=%s DoubleGetPage=%s DoubleCheck=%s\n",
                 d.processesText.c_str(), d.getPageClientsText.c_str(),
                 d.checkLinkClientsText.c_str(), d.getPageQueueText.c_str(),
                 d.checkLinkQueueText.c_str(), d.doubleGetPageText.c_str(),
                 d.doubleCheckText.c_str());
}

} // namespace

int runSearch(int argc, char** argv) {
    SearchOptions options;
    if (!parseSearchOptions(argc, argv, options)) return searchUsage();
    if (!phraseFromTerminal(options.phrase)) return 2;

    SearchEngineSetup setup;
    setup.settingsPath = options.ini.empty() ? settingsFilePath() : options.ini;
    setup.connections = std::make_shared<ConnectionPool>();
    SearchEngine engine(setup);
    engine.setCheckLinksReader([&options] { return options.checkLinks; });
    engine.setRecursiveSearchReader([&options] { return options.recursive; });
    if (options.licence || options.minWidth || options.minHeight) {
        const ServiceChoice saved = readServiceChoice(*engine.settings().Entries());
        engine.setPictureFilterOverride(
            SearchEngine::PictureFilter{options.licence.value_or(saved.licence),
                                        options.minWidth.value_or(saved.minWidth),
                                        options.minHeight.value_or(saved.minHeight)});
    }

    const bool progress = isatty(STDERR_FILENO) && !options.diagnostics;
    size_t printed = 0;
    QElapsedTimer running, idleSince;
    running.start();
    QEventLoop loop;

    QTimer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        printNewRows(engine, printed, options.jsonl, false);
        if (progress)
            std::fprintf(stderr, "\r%s  Found: %s  Processes: %s   ",
                         engine.display().statusText.c_str(), engine.display().foundText.c_str(),
                         engine.display().processesText.c_str());
        if (engineIdle(engine)) {
            if (!idleSince.isValid()) idleSince.start();
        } else {
            idleSince.invalidate();
        }
        const bool timeUp =
            options.forSeconds >= 0 && running.elapsed() >= options.forSeconds * 1000;
        const bool idleLongEnough = options.untilIdleSeconds >= 0 && idleSince.isValid() &&
                                    idleSince.elapsed() >= options.untilIdleSeconds * 1000;
        if (!engine.Searching || timeUp || idleLongEnough) loop.quit();
    });
    QTimer diagnostics;
    diagnostics.setInterval(1000);
    QObject::connect(&diagnostics, &QTimer::timeout, [&] { printDiagnostics(engine.display()); });

    engine.SearchButtonClick(options.phrase);
    if (!engine.Searching) {
        std::fprintf(stderr,
                     "lumisift-cli search: the phrase is empty or blank, nothing was searched\n");
        return 1;
    }
    poll.start();
    if (options.diagnostics) diagnostics.start();
    loop.exec();

    // Abort as the Abort button does, then let the sweeps release every client.
    if (engine.Searching) engine.AbortButtonClick();
    QElapsedTimer releasing;
    releasing.start();
    while (!(engine.GetPageClients.empty() && engine.CheckLinkClients.empty()) &&
           releasing.elapsed() < kReleaseWaitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, kPollMs);
    printNewRows(engine, printed, options.jsonl, true);
    if (options.diagnostics) printDiagnostics(engine.display());
    if (progress) std::fprintf(stderr, "\n");
    if (options.stats) {
        for (const std::string& line : engine.diagnosticsMemo())
            std::fprintf(stderr, "%s\n", line.c_str());
        for (const std::string& line : engine.serviceHealth().lines())
            std::fprintf(stderr, "%s\n", line.c_str());
        if (const std::string leftOut = engine.leftOutText(); !leftOut.empty())
            std::fprintf(stderr, "Filter: %s\n", leftOut.c_str());
    }
    // Refusals (403, 429, 5xx, an API's error) are answers, but a search that listed nothing
    // and read no result page found no service to search with.
    if (engine.resultPagesAnswered() == 0 ||
        (printed == 0 && !engine.serviceHealth().anyPageRead())) {
        std::fprintf(stderr, "lumisift-cli search: no search service answered\n");
        return 1;
    }
    return 0;
}

} // namespace lumi::cli
