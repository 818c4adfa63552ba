#pragma once
// The stand-in web on loopback: the four services, the picture archives, the sites of every phrase, the maker's site
// and a few control addresses for tests (/__expected, /__thumbpages, /__fetched, /__archives, /__peak). It owns the
// HTTP server, the raw relocation host, and the caches of webs and pictures.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "MuseumArchives.h"
#include "RawRelocator.h"
#include "SiteModel.h"

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace lumi::sandbox {

struct ServerOptions {
    int port = 0; // 0: any free port
    uint64_t seed = 1;
    std::string sitesHost; // empty: the sandbox serves the sites itself
    int latencyMs = 0;     // added before every site page and picture answer
    int hangMs = 600000;   // how long the page that never answers holds its request
    int slowMs = 2500;     // how long the slow page takes to trickle out
    std::string productVersion = "1.4";
    // Both set: the services and sites are served over https with this certificate (PEM).
    std::string tlsCert, tlsKey;
    // SearXNG answers 429 to requests without the headers its bot gate asks for.
    bool searxngGate = false;
};

class SandboxServer {
public:
    explicit SandboxServer(ServerOptions options);
    SandboxServer(const SandboxServer&) = delete;
    SandboxServer& operator=(const SandboxServer&) = delete;
    ~SandboxServer();

    // Binds 127.0.0.1 (both hosts) and starts serving on threads of its own.
    bool start();
    // Releases held answers at once, stops both hosts and joins their threads.
    void stop();

    int port() const { return port_; }
    int rawPort() const { return raw_.port(); }
    SiteHosts hosts() const;

    // The web of a phrase (built once, then cached) and a picture's encoded bytes.
    std::shared_ptr<const Web> web(const std::string& phrase);
    std::string pictureBytes(const PictureRecipe& recipe);
    // Every request target served so far, oldest first ("main /x", "raw /y").
    std::vector<std::string> requestLog() const;

private:
    void handle(const httplib::Request& request, httplib::Response& response);
    void answerSite(const std::string& path, httplib::Response& response);
    void answerControl(const std::string& path, const httplib::Request& request,
                       httplib::Response& response);
    void answerArchive(const std::string& path, const std::string& target,
                       httplib::Response& response);
    void answerMuseumSearch(Museum museum, const std::string& target, httplib::Response& response);
    void answerMetObject(const std::string& id, httplib::Response& response);
    static bool passesBotGate(const httplib::Request& request);
    std::string answerRaw(const std::string& target);
    void log(const std::string& entry);
    // Waits up to ms; true when the server is stopping.
    bool waitOrStop(int ms);

    ServerOptions options_;
    std::unique_ptr<httplib::Server> http_;
    RawRelocator raw_;
    int port_ = 0;
    std::thread thread_;

    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stopping_ = false;

    mutable std::mutex cacheMutex_;
    std::map<std::string, std::shared_ptr<const Web>> webs_;
    std::map<std::tuple<uint64_t, int, int>, std::string> pictures_;
    std::size_t pictureBytesCached_ = 0;
    std::deque<std::string> log_;
    std::map<std::string, std::string> metObjects_; // object id -> phrase
    std::atomic<int> metObjectsRunning_{0};
    std::atomic<int> metObjectsPeak_{0}; // since the last /__peak
};

} // namespace lumi::sandbox
