#pragma once
// Real network peers for end-to-end tests: nginx, lighttpd and apache serving a folder,
// tinyproxy and squid as HTTP proxies, each a child process on a free 127.0.0.1 port with its own
// temporary config, pid and log files, stopped by its pid when the object goes away. Link
// `lumisift_peers` and give the test the CTest label `peers`.
//
//     lumi::test::NginxPeer web(folder);          // serves folder on 127.0.0.1
//     ASSERT_TRUE(web.running()) << web.error();
//     cli.URL = web.url("/a.jpg");                 // "http://127.0.0.1:PORT/a.jpg"
//     lumi::test::TinyproxyPeer proxy;             // forwards to any loopback server
//     cli.Proxy = "127.0.0.1"; cli.ProxyPort = std::to_string(proxy.port());
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

class QTemporaryDir;

namespace lumi::test {

// A TCP port on 127.0.0.1 that was free a moment ago (bound to port 0, then released).
int freeLoopbackPort();
// True once something accepts TCP connections on 127.0.0.1:port, false after timeoutMs.
bool waitForLoopbackPort(int port, int timeoutMs);

// A child process with its own temporary folder; stopped by pid (TERM, then KILL).
class PeerProcess {
public:
    PeerProcess();
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    bool running() const { return pid_ > 0 && error_.empty(); }
    // Why the peer is not running (empty while it runs).
    const std::string& error() const { return error_; }
    int port() const { return port_; }
    // "http://127.0.0.1:PORT" + path
    std::string url(const std::string& path) const;
    // The peer's scratch folder (config, pid and log files live here).
    std::string folder() const;
    // The peer's own log file and its captured standard output and error.
    std::string log() const;

protected:
    // Writes `config` to a file in the scratch folder, runs argv (with "{conf}" and
    // "{dir}" replaced) and waits until the port accepts connections.
    void start(const std::string& config, const std::vector<std::string>& argv);
    void stop();
    void stopGuard();
    std::string readFile(const std::string& name) const;

    std::unique_ptr<QTemporaryDir> dir_;
    pid_t pid_ = -1;
    pid_t guard_ = -1; // ends the server if the test process dies first
    int port_ = 0;
    std::string error_;
    std::string logName_;
};

// nginx serving `folder` (absolute path) on 127.0.0.1:port(); listenFlags go on its listen
// line (" http2": HTTP/2 spoken from the first byte), serverLines into its server block.
class NginxPeer : public PeerProcess {
public:
    explicit NginxPeer(const std::string& folder, const std::string& listenFlags = {},
                       const std::string& serverLines = {});
};

// tinyproxy on 127.0.0.1:port(), allowing loopback clients only; extra lines (such as
// "ConnectPort 443", or "BasicAuth user password" to serve only clients that log in) go into its config.
class TinyproxyPeer : public PeerProcess {
public:
    explicit TinyproxyPeer(const std::string& extraConfig = {});
};

// lighttpd serving `folder` on 127.0.0.1:port(); "/rel" answers with the relative
// relocation "Location: sub/target.html".
class LighttpdPeer : public PeerProcess {
public:
    explicit LighttpdPeer(const std::string& folder);
};

// apache (one process, in the foreground) serving `folder` on 127.0.0.1:port(); files
// ending in ".asis" are sent as they are written, header included. Started as root, apache
// serves as www-data, so the folder and its files are made readable to everyone.
class ApachePeer : public PeerProcess {
public:
    explicit ApachePeer(const std::string& folder);
};

// squid as a caching-off forward proxy on 127.0.0.1:port(), allowing loopback clients
// only; accessRules go before the rule that allows loopback. Started as root, squid works as
// the user "proxy", which then owns its scratch folder.
class SquidPeer : public PeerProcess {
public:
    explicit SquidPeer(const std::string& accessRules = {});
};

} // namespace lumi::test
