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

// How a TlsCutServer's connection goes on after its reply.
struct TlsCutEnding {
    std::string raw;               // bytes sent beside TLS (a forged record, a bare alert)
    bool hold = false;             // then wait for the client to close
    bool reset = false;            // end with a reset instead of a close
    bool resetInHandshake = false; // reset as soon as the client's hello arrives
    bool askCertificate = false;   // TLS 1.3, a client certificate required
};

// A TLS server thread: handshake (good certificate), request, `reply`, no close_notify.
class TlsCutServer {
public:
    using After = TlsCutEnding;
    TlsCutServer(const TestCertificates& certs, std::string reply, After after = {});
    ~TlsCutServer();
    int port() const { return port_; }

private:
    void serve();
    int listener_ = -1;
    int port_ = 0;
    std::string cert_, key_, reply_;
    After after_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace lumi::test
