// lumisift-cli extract: shows what Lumisift takes from one saved page. A fresh search state
// (searching, every list empty, default settings) receives the page's lines exactly as a
// finished fetch hands them on; every hand-off is printed before the engine judges it,
// then the rows of the results list and the counters. No network is touched.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include <QTemporaryDir>

#include "analysis/PageRouting.h"
#include "analysis/SearchHost.h"
#include "base/TextOps.h"
#include "cli/Commands.h"
#include "engine/PageBuffer.h"
#include "engine/SearchEngine.h"

namespace lumi::cli {

namespace {

struct ExtractOptions {
    int32_t engine = 0;
    bool engineSet = false;
    std::string url;
    bool urlSet = false;
    bool checkLinks = true;
    bool recursive = true;
    std::string pageFile;
};

int extractUsage() {
    std::fprintf(stderr,
                 "usage: lumisift-cli extract --engine N --url PAGE_URL [--check-links on|off] "
                 "[--recursive on|off] PAGE_FILE\n");
    return 2;
}

bool parseExtractOptions(int argc, char** argv, ExtractOptions& o) {
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--engine" && hasValue) {
            if (!parseInteger(argv[++i], o.engine)) return false;
            o.engineSet = true;
        } else if (a == "--url" && hasValue) {
            o.url = argv[++i];
            o.urlSet = true;
        } else if (a == "--check-links" && hasValue) {
            if (!parseOnOff(argv[++i], o.checkLinks)) return false;
        } else if (a == "--recursive" && hasValue) {
            if (!parseOnOff(argv[++i], o.recursive)) return false;
        } else if (o.pageFile.empty() && !a.empty() && a.rfind("--", 0) != 0) {
            o.pageFile = a;
        } else {
            return false;
        }
    }
    return o.engineSet && o.urlSet && !o.pageFile.empty();
}

// Prints each hand-off of the page analysis, then passes it to the engine unchanged.
class TracingHost : public SearchHost {
public:
    explicit TracingHost(SearchHost& inner) : inner_(inner) {}

    void QueueForGetPage(const std::string& url, int engine) override {
        printLine("QueueForGetPage\t" + url + "\t" + std::to_string(engine));
        inner_.QueueForGetPage(url, engine);
    }
    void QueueForCheckLink(const std::string& url) override {
        printLine("QueueForCheckLink\t" + url);
        inner_.QueueForCheckLink(url);
    }
    void AddToListView(const std::string& url, int64_t size) override {
        printLine("AddToListView\t" + url + "\t" + std::to_string(size));
        inner_.AddToListView(url, size);
    }
    bool foundListContains(const std::string& url) const override {
        return inner_.foundListContains(url);
    }
    bool checkLinksChecked() const override { return inner_.checkLinksChecked(); }
    bool searchRecursive() const override { return inner_.searchRecursive(); }
    void appendDiagnosticsLine(const std::string& line) override {
        inner_.appendDiagnosticsLine(line);
    }

private:
    SearchHost& inner_;
};

// The page as a fetch would keep it: at most MaxPageBytes bytes.
bool readPage(const std::string& path, std::string& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes.resize(static_cast<size_t>(MaxPageBytes));
    file.read(bytes.data(), MaxPageBytes);
    if (file.bad()) return false;
    bytes.resize(static_cast<size_t>(file.gcount()));
    return true;
}

} // namespace

int runExtract(int argc, char** argv) {
    ExtractOptions options;
    if (!parseExtractOptions(argc, argv, options)) return extractUsage();
    std::string bytes;
    if (!readPage(options.pageFile, bytes)) {
        std::fprintf(stderr, "lumisift-cli extract: cannot read %s\n", options.pageFile.c_str());
        return 1;
    }

    // Default settings: a settings file that does not exist.
    QTemporaryDir scratch;
    SearchEngineSetup setup;
    setup.settingsPath = scratch.path().toStdString() + "/lumisift.ini";
    setup.seedRandomFromClock = false;
    SearchEngine engine(std::move(setup));
    for (QTimer* timer : {engine.Timer1, engine.Timer2, engine.Timer3, engine.Timer4, engine.Timer5,
                          engine.TimerBlinkSearch})
        timer->stop();
    engine.Searching = true;
    engine.SearchRecursive = options.recursive;
    engine.setCheckLinksReader([&options] { return options.checkLinks; });

    PageLines lines;
    LoadMemoFromMemoryStream(lines, bytes);
    TracingHost tracer(engine);
    routePageByEngine(tracer, options.engine, lines, options.url);

    ResultsModel& rows = engine.results();
    for (size_t i = 0; i < rows.totalRows(); ++i)
        printLine("Row\t" + rows.row(i).caption + "\t" + rows.row(i).sizeText);
    printLine("Found\t" + engine.display().foundText);
    printLine("DoubleGetPage\t" + engine.display().doubleGetPageText);
    printLine("DoubleCheck\t" + engine.display().doubleCheckText);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace lumi::cli
