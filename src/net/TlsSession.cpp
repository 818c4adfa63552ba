#include "net/TlsSession.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include "base/ErrorReport.h"

namespace {

struct ContextFree {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};

// Why the CA file at path was refused by OpenSSL, in words.
std::string caFileRefusal(const char* path) {
    struct stat st {};
    int code = 0;
    if (::stat(path, &st) != 0)
        code = errno;
    else if (S_ISDIR(st.st_mode))
        code = EISDIR;
    else if (const int fd = ::open(path, O_RDONLY | O_CLOEXEC); fd < 0)
        code = errno;
    else
        ::close(fd);
    // Appended piece by piece: GCC 12 reports a false overflow (-Warray-bounds) otherwise.
    std::string text = lumi::tlsCaFileVariable;
    text.append(" ").append(path).append(" cannot be read: ");
    text.append(code != 0 ? lumi::systemErrorText(code) : "no PEM certificate in it");
    return text;
}

// Sessions to resume, by "host:port", for the life of the process: a new connection to a
// peer already seen skips the full handshake. Copies are kept, because OpenSSL marks a
// connection's own session unusable when that connection ends without close_notify. Bounded:
// past the limit the oldest key in order gives way.
class ResumableSessions {
public:
    ~ResumableSessions() {
        for (auto& [peer, session] : sessions_)
            SSL_SESSION_free(session);
    }
    void keep(const std::string& peer, SSL_SESSION* session) {
        SSL_SESSION* copy = SSL_SESSION_dup(session);
        if (!copy) return;
        const std::lock_guard<std::mutex> lock(mutex_);
        auto [it, added] = sessions_.try_emplace(peer, copy);
        if (!added) {
            SSL_SESSION_free(it->second);
            it->second = copy;
        } else if (sessions_.size() > maxPeers) {
            auto victim = sessions_.begin() == it ? std::next(it) : sessions_.begin();
            SSL_SESSION_free(victim->second);
            sessions_.erase(victim);
        }
    }
    void forget(const std::string& peer) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (auto it = sessions_.find(peer); it != sessions_.end()) {
            SSL_SESSION_free(it->second);
            sessions_.erase(it);
        }
    }
    // Offers the kept session of peer, if any, for the handshake ssl is about to make.
    void offer(const std::string& peer, SSL* ssl) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto it = sessions_.find(peer);
        if (it != sessions_.end() && SSL_SESSION_is_resumable(it->second))
            SSL_set_session(ssl, it->second);
    }

private:
    static constexpr size_t maxPeers = 1024;
    std::mutex mutex_;
    std::map<std::string, SSL_SESSION*> sessions_;
};

ResumableSessions& resumableSessions() {
    static ResumableSessions sessions;
    return sessions;
}

// A session (a TLS 1.3 ticket arrives after the handshake, a TLS 1.2 session with it) is
// kept under the peer its connection named in its application data.
int keepNewSession(SSL* ssl, SSL_SESSION* session) {
    if (const auto* peer = static_cast<const std::string*>(SSL_get_app_data(ssl)))
        resumableSessions().keep(*peer, session);
    return 0; // the copy is ours; OpenSSL keeps its own reference
}

// Whether folder holds certificates under their subject hashes ("9d04f354.0"), which
// OpenSSL looks up one by one as a chain needs them.
bool holdsHashedCertificates(const char* folder) {
    DIR* dir = ::opendir(folder);
    if (!dir) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        found = name.size() >= 10 && name[8] == '.' &&
                std::isdigit(static_cast<unsigned char>(name[9])) &&
                std::all_of(name.begin(), name.begin() + 8,
                            [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
        if (found) break;
    }
    ::closedir(dir);
    return found;
}

// The system's trusted roots. Reading the bundle file whole costs each process tens of
// milliseconds and a megabyte; the hashed folder is read only as far as a chain needs. A
// bundle named in SSL_CERT_FILE, or a folder without hashed names, is read whole.
void loadSystemRoots(SSL_CTX* ctx) {
    const char* namedFile = std::getenv(X509_get_default_cert_file_env());
    const char* namedFolder = std::getenv(X509_get_default_cert_dir_env());
    const char* folder = namedFolder && *namedFolder ? namedFolder : X509_get_default_cert_dir();
    if ((!namedFile || !*namedFile) && holdsHashedCertificates(folder) &&
        SSL_CTX_load_verify_dir(ctx, folder) == 1)
        return;
    SSL_CTX_set_default_verify_paths(ctx);
}

// The process's one context, made on first use (loading the CA store takes tens of
// milliseconds); ctx is nullptr when OpenSSL cannot make one.
struct ClientContext {
    std::unique_ptr<SSL_CTX, ContextFree> ctx;
    std::string caFileProblem;
};

const ClientContext& clientContext() {
    static const ClientContext context = [] {
        ClientContext c;
        c.ctx.reset(SSL_CTX_new(TLS_client_method()));
        if (!c.ctx) return c;
        SSL_CTX_set_min_proto_version(c.ctx.get(), TLS1_2_VERSION);
        SSL_CTX_set_verify(c.ctx.get(), SSL_VERIFY_PEER, nullptr);
        // A kept connection waiting for its next request, or a transfer between two reads,
        // holds no record buffers (some 34 KB a connection); they come back on the next record.
        SSL_CTX_set_mode(c.ctx.get(), SSL_MODE_RELEASE_BUFFERS);
        SSL_CTX_set_session_cache_mode(c.ctx.get(),
                                       SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        SSL_CTX_sess_set_new_cb(c.ctx.get(), keepNewSession);
        loadSystemRoots(c.ctx.get());
        const char* extra = std::getenv(lumi::tlsCaFileVariable);
        if (extra && *extra && SSL_CTX_load_verify_locations(c.ctx.get(), extra, nullptr) != 1)
            c.caFileProblem = caFileRefusal(extra);
        ERR_clear_error();
        return c;
    }();
    return context;
}

bool isAddressLiteral(const std::string& host) {
    in_addr a{};
    return inet_pton(AF_INET, host.c_str(), &a) == 1;
}

// OpenSSL's reason for the most recent error of this thread's queue.
std::string queuedReason() {
    const unsigned long e = ERR_peek_last_error();
    const char* reason = e ? ERR_reason_error_string(e) : nullptr;
    return reason ? reason : "connection closed by peer";
}

} // namespace

namespace lumi {

struct TlsSession::Handles {
    SSL* ssl = nullptr;
    BIO* input = nullptr;  // owned by ssl
    BIO* output = nullptr; // owned by ssl
    ~Handles() { SSL_free(ssl); }
};

TlsSession::TlsSession(const std::string& host, const std::string& port)
    : h_(std::make_unique<Handles>()), host_(host), peer_(host + ":" + port) {
    const ClientContext& context = clientContext();
    if (!context.caFileProblem.empty()) {
        fail(tlsCaFileUnreadable, context.caFileProblem);
        return;
    }
    h_->ssl = context.ctx ? SSL_new(context.ctx.get()) : nullptr;
    if (!h_->ssl) {
        failFromQueue("TLS handshake failed");
        return;
    }
    h_->input = BIO_new(BIO_s_mem());
    h_->output = BIO_new(BIO_s_mem());
    SSL_set_bio(h_->ssl, h_->input, h_->output);
    SSL_set_connect_state(h_->ssl);
    if (isAddressLiteral(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(h_->ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(h_->ssl, host.c_str());
        SSL_set1_host(h_->ssl, host.c_str());
    }
    // A resumed session was verified for this same host and port by its full handshake.
    SSL_set_app_data(h_->ssl, &peer_);
    resumableSessions().offer(peer_, h_->ssl);
}

// The peer text goes before the handles: ssl must not point at it any longer.
TlsSession::~TlsSession() {
    if (h_->ssl) SSL_set_app_data(h_->ssl, nullptr);
}

void TlsSession::putInput(const char* data, size_t len) {
    if (h_->ssl && len > 0) BIO_write(h_->input, data, static_cast<int>(len));
}

size_t TlsSession::inputWaiting() const {
    return h_->ssl ? BIO_ctrl_pending(h_->input) : 0;
}

void TlsSession::takeOutput(std::string& out) {
    if (!h_->ssl) return;
    char* data = nullptr;
    const long n = BIO_get_mem_data(h_->output, &data);
    if (n <= 0) return;
    out.append(data, static_cast<size_t>(n));
    (void)BIO_reset(h_->output);
}

TlsSession::Step TlsSession::handshake() {
    if (errorCode_ != 0) return Step::Failed;
    if (handshakeDone_) return Step::Done;
    ERR_clear_error();
    const int r = SSL_do_handshake(h_->ssl);
    if (r == 1) {
        handshakeDone_ = true;
        return Step::Done;
    }
    const int e = SSL_get_error(h_->ssl, r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return Step::WantInput;
    resumableSessions().forget(peer_);
    const long verify = SSL_get_verify_result(h_->ssl);
    switch (verify) {
    case X509_V_OK:
        failFromQueue("TLS handshake failed");
        break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        fail(tlsHostNameMismatch, "Certificate does not match the host name: " + host_);
        break;
    default: {
        int code = tlsCertificateProblem;
        if (verify == X509_V_ERR_CERT_HAS_EXPIRED) code = tlsCertificateExpired;
        if (verify == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT ||
            verify == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN)
            code = tlsSelfSignedCertificate;
        if (verify == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY ||
            verify == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT)
            code = tlsUnknownIssuer;
        fail(code, std::string("Certificate problem: ") + X509_verify_cert_error_string(verify) +
                       " (" + host_ + ")");
    }
    }
    return Step::Failed;
}

TlsSession::ReadResult TlsSession::read(char* buffer, int len, int& got) {
    got = 0;
    if (errorCode_ != 0) return ReadResult::Failed;
    ERR_clear_error();
    const int n = SSL_read(h_->ssl, buffer, len);
    if (n > 0) {
        got = n;
        return ReadResult::Data;
    }
    switch (SSL_get_error(h_->ssl, n)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        return ReadResult::WantInput;
    case SSL_ERROR_ZERO_RETURN:
        return ReadResult::Ended;
    default:
        failFromQueue("TLS connection failed");
        return ReadResult::Failed;
    }
}

size_t TlsSession::plainWaiting() const {
    return h_->ssl ? static_cast<size_t>(SSL_pending(h_->ssl)) : 0;
}

bool TlsSession::write(const char* data, int len) {
    if (errorCode_ != 0) return false;
    ERR_clear_error();
    const int n = SSL_write(h_->ssl, data, len);
    if (n > 0) return true;
    const int e = SSL_get_error(h_->ssl, n);
    if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE)
        failFromQueue("TLS connection failed");
    return false;
}

void TlsSession::shutdown() {
    if (h_->ssl && handshakeDone_ && errorCode_ == 0) {
        ERR_clear_error();
        SSL_shutdown(h_->ssl);
    }
}

void TlsSession::fail(int code, std::string text) {
    errorCode_ = code;
    errorText_ = std::move(text);
}

void TlsSession::failFromQueue(const char* what) {
    const int code = handshakeDone_ ? tlsStreamBroken : tlsHandshakeFailed;
    fail(code, std::string(what) + ": " + queuedReason() + " (" + peer_ + ")");
    ERR_clear_error();
}

std::string tlsCaFileProblem() {
    const char* extra = std::getenv(tlsCaFileVariable);
    return extra && *extra ? clientContext().caFileProblem : std::string();
}

std::string tlsTimeoutText(const std::string& peer, int limitMs) {
    std::string seconds = std::to_string(limitMs / 1000);
    if (limitMs % 1000 != 0) {
        seconds += '.';
        seconds += std::to_string(limitMs % 1000 / 100);
    }
    return "TLS handshake timed out after " + seconds + " s (" + peer + ")";
}

} // namespace lumi
