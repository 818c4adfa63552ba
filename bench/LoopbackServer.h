#pragma once
// A cpp-httplib server on a free loopback port, listening on a thread of its own from its
// construction (routes set by the caller first) until it is destroyed.
#include <functional>
#include <string>
#include <thread>

#include <httplib.h>

namespace lumi::bench {

class LoopbackServer {
public:
    explicit LoopbackServer(const std::function<void(httplib::Server&)>& routes) {
        routes(server_);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::yield();
    }
    ~LoopbackServer() {
        server_.stop();
        thread_.join();
    }
    // "http://127.0.0.1:PORT" + path
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

} // namespace lumi::bench
