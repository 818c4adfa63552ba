// lumisift-cli doctor: asks every enabled search service for one result page for a probe
// phrase, all at once, and prints per service whether it was reachable, whether TLS was
// used, whether the answer was understood and how many pictures it named. It goes through
// the proxy of the settings, as a search does, and names it. Exits 0 only when every
// enabled service answered in a way its reader understands.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include "analysis/ArchiveAnswers.h"
#include "analysis/PageRouting.h"
#include "base/AppPaths.h"
#include "base/IniFiles.h"
#include "cli/Commands.h"
#include "engine/ArchiveHeaders.h"
#include "engine/PageBuffer.h"
#include "engine/ProxyUse.h"
#include "engine/SearchEngine.h"
#include "net/HttpFailure.h"
#include "net/HttpProt.h"
#include "net/TlsSession.h"

namespace lumi::cli {

namespace {

constexpr int kDefaultTimeoutSeconds = 20;
constexpr int kPollMs = 50;

// What a classic result page names: pictures (checked or listed) and result pages.
class CountingHost : public SearchHost {
public:
    void QueueForGetPage(const std::string&, int engine) override { pages += engine == 99; }
    void QueueForCheckLink(const std::string&) override { ++pictures; }
    void AddToListView(const std::string&, int64_t) override { ++pictures; }
    bool foundListContains(const std::string&) const override { return false; }
    bool checkLinksChecked() const override { return true; }
    bool searchRecursive() const override { return false; }
    void appendDiagnosticsLine(const std::string&) override {}
    size_t pictures = 0;
    size_t pages = 0;
};

struct Probe {
    ServiceId service;
    std::string url;
    std::unique_ptr<CappedBuffer> buffer;
    std::unique_ptr<THttpCli> client;
    bool done = false;
    int error = 0;
};

int doctorUsage() {
    std::fprintf(stderr, "usage: lumisift-cli doctor [--ini FILE] [--phrase PHRASE] [--timeout SECONDS]\n");
    return 2;
}

// "reachable yes, TLS not used, answer understood yes, pictures found 9"; true when it works.
bool reportProbe(const Probe& probe) {
    const bool https = probe.url.compare(0, 8, "https://") == 0;
    const int status = probe.done && probe.error == 0 ? probe.client->StatusCode() : 0;
    const bool reachable = status != 0;
    const std::string& body = probe.buffer->bytes();
    bool understood = false;
    bool allEnginesFailed = false;
    std::string found;
    if (isArchiveService(probe.service)) {
        const ArchiveAnswer answer =
            readArchiveAnswer(probe.service, body, firstArchivePosition(probe.service));
        understood = status == 200 && probe.buffer->droppedBytes() == 0 && answer.understood;
        found = "pictures found " + std::to_string(understood ? answer.pictures.size() : 0);
        if (understood && !answer.failedEngines.empty()) {
            found = "engines failed: " + failedEnginesList(answer.failedEngines) + " (" +
                    std::to_string(answer.failedEngines.size()) + " of " +
                    std::to_string(answer.engines.size()) + "), " + found;
            // An instance none of whose engines answered finds nothing, whatever it says.
            allEnginesFailed = answer.failedEngines.size() >= answer.engines.size();
        }
    } else {
        understood = status == 200 && carriesResultMarkers(probe.service, body);
        CountingHost counter;
        if (understood) {
            PageLines lines;
            LoadMemoFromMemoryStream(lines, body);
            routePageByEngine(counter, engineOfService(probe.service), lines, probe.url);
        }
        found = "pictures found " + std::to_string(counter.pictures) + ", pages found " +
                std::to_string(counter.pages);
    }
    std::string line = std::string(serviceName(probe.service)) + ": reachable " +
                       (reachable ? "yes" : "no");
    if (!reachable && probe.done) line += " (" + requestFailureText(*probe.client, probe.error) + ")";
    if (!probe.done) line += " (no answer in time)";
    // "failed" only when a handshake was tried: a refused connection never reached one.
    line += std::string(", TLS ") +
            (!https ? "not used" : reachable ? "yes" : isTlsError(probe.error) ? "failed" : "not tried");
    line += ", answer understood " + std::string(understood ? "yes" : "no");
    if (reachable && status != 200) line += " (status " + std::to_string(status) + ")";
    printLine(line + ", " + found);
    return understood && !allEnginesFailed;
}

} // namespace

int runDoctor(int argc, char** argv) {
    std::string ini, phrase = "sunset";
    int timeoutSeconds = kDefaultTimeoutSeconds;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--ini" && i + 1 < argc)
            ini = argv[++i];
        else if (a == "--phrase" && i + 1 < argc)
            phrase = argv[++i];
        else if (a == "--timeout" && i + 1 < argc && (timeoutSeconds = std::atoi(argv[++i])) > 0)
            continue;
        else
            return doctorUsage();
    }
    const TIniFile settings(ini.empty() ? settingsFilePath() : ini);
    const ServiceChoice choice = readServiceChoice(*settings.Entries());
    // The proxy every search request takes, so that the report speaks for the search.
    const ProxySetting proxy = proxyFromSettings(settings);

    std::vector<Probe> probes;
    bool allWork = true;
    if (const std::string problem = tlsCaFileProblem(); !problem.empty()) {
        printLine(problem);
        allWork = false;
    }
    for (const SearchAddress& address : searchAddresses(searchHostsFromEnvironment(), phrase))
        if (choice.enabledFor(serviceOfEngine(address.engine)))
            probes.push_back({serviceOfEngine(address.engine), address.url, {}, {}, false, 0});
    for (const ServiceId service : {ServiceId::Openverse, ServiceId::Commons, ServiceId::SearXNG}) {
        if (!choice.enabledFor(service)) continue;
        const std::string base = archiveBase(service, choice);
        if (base.empty()) {
            printLine(std::string(serviceName(service)) + ": no address entered");
            allWork = false;
            continue;
        }
        probes.push_back({service,
                          archiveRequestUrl(service, base, phrase, firstArchivePosition(service)),
                          {}, {}, false, 0});
    }
    if (probes.empty() && allWork) {
        std::fprintf(stderr, "lumisift-cli doctor: no search service is enabled\n");
        return 1;
    }

    for (Probe& probe : probes) {
        const bool archive = isArchiveService(probe.service);
        probe.buffer = std::make_unique<CappedBuffer>(archive ? SearchEngine::MaxArchiveAnswerBytes
                                                              : MaxPageBytes);
        probe.client = std::make_unique<THttpCli>();
        probe.client->URL = probe.url;
        probe.client->RcvdStream = probe.buffer.get();
        useProxy(*probe.client, proxy);
        if (archive) useArchiveHeaders(*probe.client, SearchEngine::MaxArchiveDecodedBytes);
        probe.client->OnRequestDone = [&probe](THttpCli*, THttpRequest, int error) {
            probe.done = true;
            probe.error = error;
        };
        try {
            probe.client->StartGet();
        } catch (const std::exception& e) {
            probe.done = true;
            probe.error = -1;
            std::fprintf(stderr, "%s: %s\n", serviceName(probe.service), e.what());
        }
    }
    if (proxy.missingServer)
        std::printf("Connection: direct, %s\n", MissingProxyServerText);
    else if (!proxy.host.empty() && !probes.empty())
        printLine("Connection: through proxy " + proxyLabel(*probes.front().client));
    QElapsedTimer waiting;
    waiting.start();
    const auto allDone = [&probes] {
        for (const Probe& p : probes)
            if (!p.done) return false;
        return true;
    };
    while (!allDone() && waiting.elapsed() < timeoutSeconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, kPollMs);
    for (const Probe& probe : probes)
        allWork = reportProbe(probe) && allWork;
    for (Probe& probe : probes)
        if (!probe.done) probe.client->Abort();
    return allWork ? 0 : 1;
}

} // namespace lumi::cli
