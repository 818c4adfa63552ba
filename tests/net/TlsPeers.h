#pragma once
// Peers for the https tests: the throw-away certificates (tls/make_certs.sh), nginx with one
// TLS server block per case, and a scripted TLS server for the cases nginx will not play
// (a cut right after the handshake, a body cut short without close_notify).
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/Peers.h"

class QTemporaryDir;

namespace lumi::test {

// The certificates of one test run; `file("good.pem")` and so on (see make_certs.sh).
class TestCertificates {
public:
    TestCertificates();
    ~TestCertificates();
    bool made() const { return made_; }
    std::string file(const std::string& name) const;

private:
    std::unique_ptr<QTemporaryDir> dir_;
    bool made_ = false;
};

// nginx serving /index.html ("hello") in several server blocks, each on its own port: a
// block is its certificate name ("good", "expired", ...; empty: plain http) and directives.
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

// A one-connection-at-a-time TLS server on a thread: it completes the handshake with the
// good certificate, reads the request, writes `reply` and closes without close_notify.
class TlsCutServer {
public:
    TlsCutServer(const TestCertificates& certs, std::string reply);
    ~TlsCutServer();
    int port() const { return port_; }

private:
    void serve();
    int listener_ = -1;
    int port_ = 0;
    std::string cert_, key_, reply_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace lumi::test
