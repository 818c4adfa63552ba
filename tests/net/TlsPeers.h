#pragma once
// Peers for the https tests: the per-run certificates, nginx, and a TLS server for cuts.
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QTemporaryDir>

#include "common/Peers.h"

namespace lumi::test {

// The certificates of one test run; `file("good.pem")` and so on (see make_certs.sh).
struct TestCertificates {
    TestCertificates();
    QTemporaryDir dir;
    bool made = false;
    std::string file(const std::string& name) const;
};

// The certificates of the test run, whose CA LUMISIFT_CA_FILE names (HttpsTest.cpp).
const TestCertificates& runCertificates();

// nginx serving /index.html ("hello"), a server block per port: certificate name, directives.
class NginxTlsPeer : public PeerProcess {
public:
    struct Block {
        std::string certificate;
        std::string directives;
    };
    NginxTlsPeer(const TestCertificates& certs, const std::vector<Block>& blocks);
    int portOf(size_t block) const { return ports_.at(block); }

private:
    std::vector<int> ports_;
};

// After the reply: bytes beside TLS (a forged record), then waiting for the client to close;
// a reset instead of a close; TLS 1.3 with a client certificate required (then waiting too);
// no handshake, only the client's hello awaited; the newest TLS version spoken (0: any);
// a late answer sent 100 ms after the reply, then waiting for the client to close.
struct TlsCutEnding {
    std::string raw;
    bool reset = false, askCertificate = false, helloOnly = false;
    int maxVersion = 0;
    std::string late = {};
};

// A TLS server thread: handshake (good certificate), request, `reply`, no close_notify.
class TlsCutServer {
public:
    TlsCutServer(const TestCertificates& certs, std::string reply, TlsCutEnding after = {});
    ~TlsCutServer();
    int port() const { return port_; }
    std::atomic<int> fullHandshakes{0}, resumedHandshakes{0};

private:
    void serve();
    int listener_ = -1;
    int port_ = 0;
    std::string cert_, key_, reply_;
    TlsCutEnding after_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace lumi::test
