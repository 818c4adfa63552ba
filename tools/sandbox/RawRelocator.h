#pragma once
// A second loopback host that writes its answers byte for byte, for what the HTTP library
// cannot write: a relocation whose "Location:" has no blank after the colon.
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace lumi::sandbox {

class RawRelocator {
public:
    // Gives the complete answer (status line, header, body) for a request target.
    using Responder = std::function<std::string(const std::string& target)>;

    RawRelocator() = default;
    RawRelocator(const RawRelocator&) = delete;
    RawRelocator& operator=(const RawRelocator&) = delete;
    ~RawRelocator();

    // Listens on 127.0.0.1 at an ephemeral port; false when that fails.
    bool start(Responder responder);
    // Stops accepting and joins the thread; an answer being written is finished first.
    void stop();
    int port() const { return port_; }

private:
    void run();
    void serve(int connection);

    Responder responder_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

} // namespace lumi::sandbox
