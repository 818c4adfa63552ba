#pragma once
// TlsSession: the client side of one TLS connection, kept apart from any descriptor. The
// socket hands it the bytes it read from the network and sends what it hands back (OpenSSL
// memory BIOs), so the socket's own non-blocking loop drives the handshake and the records.
// Certificate and host-name checks are always on: the system's CA store, plus the file named
// by LUMISIFT_CA_FILE when set (a company's TLS proxy, a test's throw-away CA). Host names go
// out as SNI and are matched against the certificate; IPv4 literals are matched as addresses
// and never sent as SNI. TLS 1.2 is the oldest version spoken. Sessions (TLS 1.3 tickets,
// TLS 1.2 sessions) are kept per host and port for the life of the process, so a new
// connection to a peer already seen is resumed; every full handshake verifies.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace lumi {

// Error numbers of the TLS layer, in the socket's numbering (see socketErrorText).
inline constexpr int tlsCertificateExpired = 12001;
inline constexpr int tlsSelfSignedCertificate = 12002;
inline constexpr int tlsUnknownIssuer = 12003;
inline constexpr int tlsCertificateProblem = 12004; // any other verification failure
inline constexpr int tlsHostNameMismatch = 12005;
inline constexpr int tlsHandshakeFailed = 12006;
inline constexpr int tlsHandshakeTimedOut = 12007;
inline constexpr int tlsStreamBroken = 12008; // a bad record after the handshake
inline constexpr int tlsCaFileUnreadable = 12009; // see tlsCaFileProblem

inline bool isTlsError(int code) {
    return code >= tlsCertificateExpired && code <= tlsCaFileUnreadable;
}

// The environment variable naming an extra CA file (PEM) trusted beside the system's store.
inline constexpr const char* tlsCaFileVariable = "LUMISIFT_CA_FILE";

// Empty, or why the file that LUMISIFT_CA_FILE names cannot be used, in words:
// "LUMISIFT_CA_FILE /path cannot be read: No such file or directory". Read once per
// process; while it is not empty every TLS connection fails with tlsCaFileUnreadable and
// this text, rather than as an unknown issuer that would blame the server.
std::string tlsCaFileProblem();

class TlsSession {
public:
    enum class Step { Done, WantInput, Failed };
    enum class ReadResult { Data, WantInput, Ended, Failed };

    // host: the name (or IPv4 literal) from the address, never the looked-up IP; port only
    // names the peer in error texts.
    TlsSession(const std::string& host, const std::string& port);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Network bytes in, network bytes out.
    void putInput(const char* data, size_t len);
    size_t inputWaiting() const;
    // Appends what the TLS layer wants sent; call after every other call.
    void takeOutput(std::string& out);

    Step handshake();
    bool handshakeDone() const { return handshakeDone_; }
    // Decrypted bytes: on Data, `got` says how many went into buffer.
    ReadResult read(char* buffer, int len, int& got);
    // Bytes decrypted and kept inside the TLS layer.
    size_t plainWaiting() const;
    // Encrypts all of data; false when the layer wants input first (retry after a read) or
    // has failed.
    bool write(const char* data, int len);
    // Queues close_notify.
    void shutdown();

    // After a failure: the error number (tls...) and the text in the program's words.
    int errorCode() const { return errorCode_; }
    const std::string& errorText() const { return errorText_; }
    // "host:port", for texts.
    const std::string& peer() const { return peer_; }

private:
    void fail(int code, std::string text);
    void failFromQueue(const char* what);

    struct Handles;
    std::unique_ptr<Handles> h_;
    std::string host_, peer_;
    bool handshakeDone_ = false;
    int errorCode_ = 0;
    std::string errorText_;
};

// The program's wording of a handshake that did not finish in time.
std::string tlsTimeoutText(const std::string& peer, int limitMs);

} // namespace lumi
