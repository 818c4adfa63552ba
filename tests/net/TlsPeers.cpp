#include "net/TlsPeers.h"

#include <chrono>
#include <fstream>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>

#include <openssl/ssl.h>

namespace lumi::test {

TestCertificates::TestCertificates() {
    QProcess run;
    run.start(QStringLiteral(LUMISIFT_MAKE_CERTS), {dir.path()});
    made = run.waitForFinished(30000) && run.exitStatus() == QProcess::NormalExit &&
           run.exitCode() == 0;
}

std::string TestCertificates::file(const std::string& name) const {
    return dir.path().toStdString() + "/" + name;
}

NginxTlsPeer::NginxTlsPeer(const TestCertificates& certs, const std::vector<Block>& blocks) {
    const std::string d = folder();
    const std::string served = d + "/www";
    QDir().mkpath(QString::fromStdString(served));
    std::ofstream(served + "/index.html") << "hello";
    logName_ = "error.log";
    std::string servers;
    for (const Block& b : blocks) {
        ports_.push_back(freeLoopbackPort());
        const std::string c = b.certificate.empty() ? "" : certs.file(b.certificate);
        servers += "server { listen 127.0.0.1:" + std::to_string(ports_.back()) +
                   (c.empty() ? "; "
                              : " ssl; ssl_certificate " + c + ".pem; ssl_certificate_key " + c +
                                    ".key; ") +
                   "root " + served + "; " + b.directives + " }\n";
    }
    port_ = ports_.front();
    const std::string config =
        "daemon off; master_process off; worker_processes 1; pid " + d + "/nginx.pid;\n" +
        "error_log " + d + "/error.log warn; events { worker_connections 256; }\n" +
        "http { access_log off; client_body_temp_path " + d + "/body; proxy_temp_path " + d +
        "/proxy; fastcgi_temp_path " + d + "/fcgi; uwsgi_temp_path " + d +
        "/uwsgi; scgi_temp_path " + d + "/scgi;\n" +
        "default_type application/octet-stream; sendfile on;\n" + servers + "}\n";
    start(config, {"nginx", "-c", "{conf}", "-e", "{dir}/error.log"});
}

TlsCutServer::TlsCutServer(const TestCertificates& certs, std::string reply, TlsCutEnding after)
    : cert_(certs.file("good.pem")), key_(certs.file("good.key")), reply_(std::move(reply)),
      after_(std::move(after)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 8) ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
}

TlsCutServer::~TlsCutServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
}

void TlsCutServer::serve() {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_chain_file(ctx, cert_.c_str());
    SSL_CTX_use_PrivateKey_file(ctx, key_.c_str(), SSL_FILETYPE_PEM);
    if (after_.askCertificate) {
        SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION);
        SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    }
    if (after_.maxVersion) SSL_CTX_set_max_proto_version(ctx, after_.maxVersion);
    while (!stop_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) continue;
        SSL* ssl = SSL_new(ctx);
        SSL_set_fd(ssl, fd);
        char request[4096];
        pollfd in{fd, POLLIN, 0};
        if (after_.helloOnly)
            poll(&in, 1, 5000);
        else if (SSL_accept(ssl) == 1 &&
                 ++(SSL_session_reused(ssl) ? resumedHandshakes : fullHandshakes) > 0 &&
                 SSL_read(ssl, request, sizeof request) > 0 && !reply_.empty())
            SSL_write(ssl, reply_.data(), static_cast<int>(reply_.size()));
        if (!after_.raw.empty()) ::send(fd, after_.raw.data(), after_.raw.size(), MSG_NOSIGNAL);
        if (!after_.late.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            SSL_write(ssl, after_.late.data(), static_cast<int>(after_.late.size()));
        }
        // A client that missed the failure would wait here until the server stops.
        while ((!after_.raw.empty() || after_.askCertificate || !after_.late.empty()) && !stop_ &&
               (poll(&in, 1, 50) == 0 || ::recv(fd, request, sizeof request, 0) > 0))
            continue;
        SSL_free(ssl); // no SSL_shutdown: the stream ends without close_notify
        const linger l{after_.reset ? 1 : 0, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(fd);
    }
    SSL_CTX_free(ctx);
}

} // namespace lumi::test
