// lumisift-sandbox: the stand-in web. Serves the four search services, the sites they list
// and the maker's site on 127.0.0.1 until SIGINT or SIGTERM, or writes the sites as static
// files with --export.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <pthread.h>

#include <QGuiApplication>

#include "analysis/ArchiveService.h"

#include "PhraseToken.h"
#include "Pictures.h"
#include "SandboxServer.h"
#include "StaticExport.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: lumisift-sandbox [--port P] [--seed S] [--sites-host HOST:PORT]\n"
                         "                        [--latency-ms N] [--hang-ms N] [--slow-ms N]\n"
                         "                        [--product-version V]\n"
                         "                        [--tls-cert FILE --tls-key FILE] [--searxng-gate]\n"
                         "       lumisift-sandbox --export DIR [--phrase PHRASE]... [--seed S]\n"
                         "                        [--sites-host HOST:PORT | --port P]\n");
    return 2;
}

// Where each archive's stand-in answers below the sandbox's address, as its API below its
// public one; NASA's is moved aside, as its "/search" is SearXNG's.
const char* standInPath(lumi::ServiceId service) {
    switch (service) {
    case lumi::ServiceId::MetMuseum: return "/public/collection/v1";
    case lumi::ServiceId::ArtInstitute: return "/api/v1";
    case lumi::ServiceId::NasaImages: return "/nasa";
    default: return "";
    }
}

bool numberArg(const char* text, long long low, long long high, long long& out) {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (!end || *end || value < low || value > high) return false;
    out = value;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    lumi::sandbox::ServerOptions options;
    std::string exportFolder;
    std::vector<std::string> phrases;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long long n = 0;
        if (arg == "--port" && hasValue && numberArg(argv[++i], 0, 65535, n))
            options.port = int(n);
        else if (arg == "--seed" && hasValue && numberArg(argv[++i], 0, (1ll << 62), n))
            options.seed = uint64_t(n);
        else if (arg == "--sites-host" && hasValue)
            options.sitesHost = argv[++i];
        else if (arg == "--latency-ms" && hasValue && numberArg(argv[++i], 0, 60000, n))
            options.latencyMs = int(n);
        else if (arg == "--hang-ms" && hasValue && numberArg(argv[++i], 0, 3600000, n))
            options.hangMs = int(n);
        else if (arg == "--slow-ms" && hasValue && numberArg(argv[++i], 0, 60000, n))
            options.slowMs = int(n);
        else if (arg == "--product-version" && hasValue)
            options.productVersion = argv[++i];
        else if (arg == "--tls-cert" && hasValue)
            options.tlsCert = argv[++i];
        else if (arg == "--tls-key" && hasValue)
            options.tlsKey = argv[++i];
        else if (arg == "--searxng-gate")
            options.searxngGate = true;
        else if (arg == "--export" && hasValue)
            exportFolder = argv[++i];
        else if (arg == "--phrase" && hasValue)
            phrases.push_back(argv[++i]);
        else
            return usage();
    }
    if (options.tlsCert.empty() != options.tlsKey.empty()) return usage();

    // Pictures are drawn with Qt's painter and fonts, which need a GUI application object;
    // the sandbox never shows a window.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);

    if (!exportFolder.empty()) {
        std::string sites = options.sitesHost;
        if (sites.empty() && options.port > 0) sites = "127.0.0.1:" + std::to_string(options.port);
        if (sites.empty()) {
            std::fprintf(stderr, "lumisift-sandbox: --export needs --sites-host or --port\n");
            return 2;
        }
        if (phrases.empty()) phrases = {"sunset", "red cars"};
        std::string error;
        for (const auto& phrase : phrases) {
            const auto web =
                lumi::sandbox::buildWeb(options.seed, phrase, {sites, sites, "127.0.0.1:0"});
            if (!lumi::sandbox::exportWeb(web, exportFolder, lumi::sandbox::renderPicture, error)) {
                std::fprintf(stderr, "lumisift-sandbox: %s\n", error.c_str());
                return 1;
            }
            std::printf("exported %s\t%s/w/%s/\n", phrase.c_str(), exportFolder.c_str(),
                        web.token.c_str());
        }
        if (!lumi::sandbox::exportMakerSite({sites, options.productVersion}, exportFolder, error)) {
            std::fprintf(stderr, "lumisift-sandbox: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }

    // The signals are taken by sigwait below, never by a handler in a server thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    lumi::sandbox::SandboxServer server(options);
    if (!server.start()) {
        std::fprintf(stderr, "lumisift-sandbox: cannot listen on 127.0.0.1:%d\n", options.port);
        return 1;
    }
    const auto hosts = server.hosts();
    std::printf("lumisift-sandbox serving %s%s/ (relocations without a blank from %s)\n",
                hosts.scheme.c_str(), hosts.services.c_str(), hosts.raw.c_str());
    // Over https the variables name the scheme; plain hosts mean http.
    const std::string host =
        (hosts.scheme == "https://" ? hosts.scheme : std::string()) + hosts.services;
    for (const char* name :
         {"LUMISIFT_HOTBOT_HOST", "LUMISIFT_LYCOS_HOST", "LUMISIFT_SCOURNET_HOST",
          "LUMISIFT_SCOURNET_SITE", "LUMISIFT_MAKER_HOST"})
        std::printf("%s=%s\n", name, host.c_str());
    // The archives' overrides are base addresses with their scheme, up to each API's version.
    const std::string base = hosts.scheme + hosts.services;
    for (const lumi::ArchiveService* archive : lumi::archiveServices())
        std::printf("%s=%s%s\n", archive->baseVariable, base.c_str(), standInPath(archive->id));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    return 0;
}
