#pragma once
// THttpCli: the asynchronous HTTP/1.0 client. It fetches one URL at a time, directly or
// through an HTTP proxy, driven by the notifications of its own TWSocket, and reports
// progress through events. With KeepAlive it speaks HTTP/1.1 and leaves a connection open
// for the next request to the same place (the engine's transfers, see net/ConnectionPool.h). It owns its socket, its request buffer and its 8192-byte input
// buffer; it never owns RcvdStream or SendStream (the caller creates and frees them).
//
// Property style:
//   - settings the caller writes are public data members:  cli.URL = "http://h/x";
//   - values the client writes are const accessors:         cli.StatusCode()
// Events are public std::function members whose first parameter is the sender; an empty
// function is an unassigned event and is skipped.
//
// Ownership: THttpCli is a QObject; an owner given to the constructor deletes it with
// itself. The client may be deleted inside its own OnRequestDone, or from code outside its
// notifications (a timer) in any state; it then fires nothing more. Deleting it inside any
// other of its events is not supported.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <QDateTime>
#include <QObject>

#include "net/BodyReadSize.h"
#include "net/ChunkedBody.h"
#include "net/HttpAddress.h"
#include "net/HttpResponseParser.h"
#include "net/WSocket.h"

class QIODevice;

enum THttpState : uint8_t {
    httpReady,
    httpNotConnected,
    httpConnected,
    httpDnsLookup,
    httpDnsLookupDone,
    httpWaitingHeader,
    httpWaitingBody,
    httpAborting
};

// Kind 0 (httpNone) means no request: input arriving then is read and dropped.
enum THttpRequest { httpNone = 0, httpGET = 1, httpPOST = 2, httpHEAD = 3 };

// The client's exception: a message and a code (1 "HTTP component is busy", 2 "HTTP
// component has nothing to post"). A header line too long for the buffer is not raised but
// ends the request in order: OnRequestDone reports httpLineTooLongError (4).
class EHttpException : public std::runtime_error {
public:
    EHttpException(const std::string& message, int errorCode)
        : std::runtime_error(message), ErrorCode(errorCode) {}
    int ErrorCode;
};

namespace lumi {

// Bytes of one POST block.
inline constexpr int httpPostBlockSize = 8193;
// Relocations followed for one request; one more completes it with
// httpTooManyRedirectsError, status 404 and the reason "Too many relocations (more than 20)".
inline constexpr int httpMaxRelocations = 20;
// Error code reported in OnRequestDone after Abort.
inline constexpr int httpAbortedError = 3;
// Error codes of orderly stops on a broken response (OnRequestDone's error; StatusCode is
// then 404 and ReasonPhrase names the fault): a line longer than the buffer, a relocation
// chain over the bound, a status code or Content-Length that is not a decimal number.
inline constexpr int httpLineTooLongError = 4;
inline constexpr int httpTooManyRedirectsError = 5;
inline constexpr int httpBadNumberError = 6;
// The connection closed before the body announced by Content-Length was complete, or
// before a chunked body's last chunk. StatusCode keeps the status the server sent;
// ReasonPhrase becomes "Document incomplete: N of M bytes received" or "Broken chunked body:
// cut short". A caller that keeps the body must treat it as broken (a truncated picture is
// not a picture).
inline constexpr int httpShortBodyError = 7;
// A Location names a protocol this client does not speak (ftp, ...): the request ends
// at that header line with StatusCode 404 and the reason
// "Relocation to an unsupported protocol: " + the scheme.
inline constexpr int httpUnsupportedRelocationError = 8;
// An https request through a proxy: the proxy answered CONNECT with other than 2xx (or
// closed). StatusCode 404, reason "Proxy refused the tunnel to host:port: 403 Forbidden".
inline constexpr int httpTunnelRefusedError = 9;
// RcvdStream took less than a body block: the request ends at once with StatusCode 404 and
// the reason "Cannot keep the body: " + the stream's error text.
inline constexpr int httpBodyWriteError = 10;
// A header that cannot be read alike by every party: a line without a colon after the
// status line (a second status line among them), or two different Content-Length values.
// StatusCode 404; ReasonPhrase "Header without colon" or "Conflicting Content-Length values".
inline constexpr int httpBrokenHeaderError = 11;
// A gzip or deflate body that cannot be unpacked, that unpacks to more than
// MaxDecodedBytes or that ends before its compressed stream does, an encoding that cannot be
// undone, or a chunked body whose framing is broken: StatusCode 404 and the reason says
// which, in words.
inline constexpr int httpDecodeError = 12;
// TLS failures end a request with the TLS layer's number (12001-12009, see net/TlsSession.h),
// StatusCode 404 and the text in words as the reason.

// The pieces of an address as the client splits it (all empty when absent).
struct UrlParts {
    std::string proto, user, pass, host, port, path;
};
UrlParts splitUrl(std::string_view url);

// "httpReady", "httpNotConnected", ... for traces.
const char* httpStateName(THttpState state);

// Standard Base64 (RFC 2045 alphabet, "=" padding).
std::string base64Encode(std::string_view data);

// "Sun, 06 Dec 2026 13:02:34" from the stored date and time, without zone conversion.
std::string httpDateText(const QDateTime& when);

// An open connection between two requests, and where it leads (see THttpCli::ConnectionKey).
struct KeptConnection {
    std::string key;
    std::unique_ptr<TWSocket> socket;
};

class HttpNotifier;
class ContentDecoder;
} // namespace lumi

class THttpCli : public QObject {
    Q_OBJECT
public:
    explicit THttpCli(QObject* owner = nullptr);
    // Closes the socket without events and drops pending deferred notifications.
    ~THttpCli() override;

    // --- settings the caller writes ---
    std::string URL;
    std::string Proxy; // bare host, host:port, or http://host:port/; empty: direct
    std::string ProxyPort = "80";
    std::string Sender; // "From: "
    std::string Agent = "Mozilla/3.0 (compatible)";
    std::string Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
    std::string Reference; // "Referer: "
    // "Range: " when not empty ("bytes=0-65535"); a 206 answer then holds only that part.
    std::string Range;
    // Sent when not empty. With AcceptEncoding set, a gzip or deflate body (or one packed
    // several times over) is unpacked before OnDocData and RcvdStream see it, to at most
    // MaxDecodedBytes (RcvdCount stays the bytes that came over the wire); a coding it cannot
    // undo ends the request with httpDecodeError.
    std::string AcceptLanguage;
    std::string AcceptEncoding;
    int64_t MaxDecodedBytes = 64 * 1024 * 1024;
    // An answer of 400 or more closes the connection at its status line, so its body is only
    // what came with the header; set, the body is read whole, as an API's error message is.
    bool KeepErrorBody = false;
    // HTTP/1.1 with a persistent connection: after an answer whose end is known (its
    // Content-Length, the last chunk, or no body for HEAD, 204 and 304) the connection stays
    // open for TakeConnection, unless the server said "Connection: close" or answered as
    // HTTP/1.0 without keep-alive. Off: an HTTP/1.0 request and one connection per request.
    bool KeepAlive = false;
    std::string Username, Password;
    std::string ProxyUsername, ProxyPassword;
    bool NoCache = false;
    QDateTime ModifiedSince; // null: no If-Modified-Since line
    std::string Cookie;
    // Further header lines ("If-None-Match: \"x1\""), sent after all others as they stand; a
    // line holding CR or LF is not sent.
    std::vector<std::string> ExtraHeaders;
    std::string ContentTypePost = "application/x-www-form-urlencoded";
    bool MultiThreaded = false;
    int Tag = 0;
    // Non-owning. nullptr: the body is not kept. Every body block is appended; a write that
    // takes less ends the request with httpBodyWriteError.
    QIODevice* RcvdStream = nullptr;
    // Non-owning body of a POST, read from its current position.
    QIODevice* SendStream = nullptr;

    // --- values the client writes ---
    THttpState State() const { return state_; }
    int StatusCode() const { return statusCode_; }
    const std::string& ReasonPhrase() const { return reasonPhrase_; }
    int64_t ContentLength() const { return contentLength_; }        // -1 when absent
    const std::string& ContentType() const { return contentType_; } // lower-cased
    int64_t RcvdCount() const { return rcvdCount_; }
    int64_t SentCount() const { return sentCount_; }
    const std::vector<std::string>& RcvdHeader() const { return rcvdHeader_; }
    const std::string& LastResponse() const { return lastResponse_; }
    const std::string& DocName() const { return docName_; }
    const std::string& Location() const { return location_; }
    const std::vector<std::string>& AuthenticateRequests() const { return wwwAuthenticate_; }
    // A line for the diagnostics of the last request, or empty: an https body without a
    // length whose stream ended without close_notify (taken as complete, as curl does).
    const std::string& Notice() const { return notice_; }
    // The socket, for tests and diagnostics.
    TWSocket& CtrlSocket() { return *socket_; }

    // --- operations ---
    // Start an asynchronous request and return at once. https addresses go over verified TLS
    // (port 443 unless named; through a proxy inside a CONNECT tunnel, with origin-form
    // request lines), and relocations switch freely between http and https. The fragment of
    // URL is not sent and bytes that may not stand in a request target are percent-encoded;
    // the Host line names the port when it is not the scheme's. Interim (1xx) responses are
    // skipped.
    // Raise EHttpException code 1 when not httpReady (the running request is undisturbed),
    // code 2 for a POST without SendStream, and ESocketException when the name lookup cannot
    // start (the client is then httpReady).
    void StartGet();
    void StartHead();
    void StartPost();
    // Cancel the request in progress; OnRequestDone follows, deferred, with error 3.
    // On an idle client only closes the socket if it is open; fires nothing.
    void Abort();
    // Where a request for URL, with the proxy settings as they are, connects to: scheme,
    // host and port, or the proxy (with a digest of its login, never the login itself) and,
    // for https, the origin of the tunnel through it. Requests with the same key can share a
    // connection.
    std::string ConnectionKey() const;
    // A connection an earlier request left open: the next Start uses it when the request
    // connects to the same place (else it is closed). Just before the request is written the
    // connection is looked at without reading: anything waiting on it (bytes of a late
    // answer, the server's close) makes the request go over a new connection instead, as
    // does a byte that arrives before the request is out. Should the server close it before
    // the answer's first byte, the request goes once more over a new connection.
    void AdoptConnection(lumi::KeptConnection connection);
    // After OnRequestDone: the connection when the answer left it open and reusable (and
    // nothing waits on it); an empty one otherwise.
    lumi::KeptConnection TakeConnection();

    // --- events ---
    std::function<void(THttpCli* sender)> OnStateChange;
    std::function<void(THttpCli* sender)> OnSessionConnected;
    std::function<void(THttpCli* sender)> OnRequestHeaderBegin;
    std::function<void(THttpCli* sender, const std::string& line)> OnCommand;
    std::function<void(THttpCli* sender)> OnRequestHeaderEnd;
    std::function<void(THttpCli* sender)> OnSendBegin;
    std::function<void(THttpCli* sender, const char* buffer, int len)> OnSendData;
    std::function<void(THttpCli* sender)> OnSendEnd;
    std::function<void(THttpCli* sender)> OnHeaderBegin;
    std::function<void(THttpCli* sender, const std::string& data, bool& accept)> OnCookie;
    std::function<void(THttpCli* sender)> OnHeaderData;
    std::function<void(THttpCli* sender)> OnHeaderEnd;
    std::function<void(THttpCli* sender)> OnDocBegin;
    // Fired for each body block before it is written to RcvdStream; len may be 0. A chunked
    // answer's framing is taken off here, for every request: the blocks are the body itself.
    // A body announced by Content-Length ends with its last byte, a chunked one with its last
    // chunk: bytes beyond are not delivered, and the client closes the connection without
    // waiting for the server's close. A close before that end is the request's error.
    std::function<void(THttpCli* sender, const char* buffer, int len)> OnDocData;
    std::function<void(THttpCli* sender)> OnDocEnd;
    // A relocation is resolved against the address of the request it answers (relative
    // paths, "../", "?query", "//host/x", absolute http addresses with port 80 unless named).
    // An empty Location is no relocation: that answer is the document.
    std::function<void(THttpCli* sender)> OnLocationChange;
    // Once per request, deferred, after the client is back in httpReady. The handler may
    // delete the sender.
    std::function<void(THttpCli* sender, THttpRequest rqType, int error)> OnRequestDone;

private:
    friend class lumi::HttpNotifier;
    enum class ClosedHandler { Completion, Relocation, None };

    template <class... Params, class... Args>
    bool fire(const std::function<void(THttpCli*, Params...)>& event, Args&&... args);
    // Queues a deferred step; it is dropped unless the request is still the one of generation.
    void post(void (THttpCli::*step)(), unsigned generation);
    void startRequest(THttpRequest kind);
    void startLookup(bool raise);
    void setState(THttpState newState);
    void setStateQuietly(THttpState newState);
    void resetAnswer();
    void bindSocket();
    // Persistent connections (HttpKeepAlive.cpp).
    std::string hopKey() const;
    bool reuseConnection();
    void deferredReuse();
    void dropStaleConnection();
    // Closes the socket without ending the request.
    void closeQuietly();
    std::string proxyLogin() const;
    bool retryOnNewConnection();
    void answerStatus(const std::string& statusLine);
    void connectionField(const std::string& value);
    // The body is complete: the connection is kept for the next request, or closed.
    void bodyComplete();
    void socketDnsLookupDone(int error);
    void connectSocket();
    void socketSessionConnected(int error);
    void socketDataAvailable();
    void socketDataSent();
    // error: the socket's code for a reset, 0 for a clean close.
    void socketSessionClosed(int error);
    bool bodyEndedByClose(int error);
    void sendRequest(const char* method);
    void sendCommand(const std::string& line);
    void sendPostBlock();
    void processLines();
    void headerLine();
    void bodyBlock();
    // The bytes after the lines taken go to the body as one block.
    void pendingToBody();
    bool relocate(const std::string& value);
    int64_t announcedBodyLength() const;
    // Neither HEAD nor 204 nor 304: the answer carries a body, however short.
    bool answerHasBody() const;
    // The body ended where its framing says, or with the close: a packed body must have
    // reached the end of its compressed stream too. False when the request failed here.
    bool packedBodyWhole();
    // A 1xx status: an interim answer (100 Continue and the like) before the real one.
    bool interimAnswer() const { return statusCode_ >= 100 && statusCode_ < 200; }
    void relocationClosed();
    void completion();
    void deferredSetReady();
    void deferredRequestDone(THttpRequest kind, int error);
    void deferredRestart();
    void stopOnBrokenResponse(int error, const std::string& reason);
    // https through a proxy (HttpTunnel.cpp).
    enum class Tunnel { None, Wanted, Asked };
    void sendTunnelRequest();
    void tunnelDataAvailable();
    std::string tunnelTarget() const;
    // "Proxy-Authorization: Basic …" when a proxy login is set; empty otherwise.
    std::string proxyAuthorizationLine() const;
    void tunnelClosed();
    std::string connectFailureText(int code);

    std::unique_ptr<lumi::HttpNotifier> notifier_;
    std::shared_ptr<bool> life_;
    std::unique_ptr<TWSocket> socket_;
    THttpState state_ = httpReady;
    THttpRequest kind_ = httpNone;
    int statusCode_ = 0;
    std::string reasonPhrase_;
    int64_t contentLength_ = -1;
    std::string contentType_;
    int64_t rcvdCount_ = 0;
    int64_t sentCount_ = 0;
    std::vector<std::string> rcvdHeader_;
    std::vector<std::string> wwwAuthenticate_;
    std::string lastResponse_;
    std::string incoming_; // receives the next body block, then trades places with it
    lumi::BodyReadSize bodyRead_;
    std::string docName_;
    std::string location_;
    std::string connectHost_, connectPort_, requestPath_;
    // The address being fetched, which relocations are resolved against, and its Host line.
    lumi::HttpAddress current_;
    std::string hostLine_;
    // The address the request started with: its login (Username, Password) goes to that
    // scheme, host and port only, never to where a relocation leads.
    lumi::HttpAddress loginOrigin_;
    // The next header line is the first of an answer: the only place for its status line.
    bool statusLineDue_ = true;
    bool chunked_ = false; // "Transfer-Encoding: chunked": the last chunk ends the body
    // Body bytes still expected after the header, or -1 when the close ends the body.
    int64_t bodyLeft_ = -1;
    std::string request_;
    lumi::HttpResponseParser parser_;
    std::unique_ptr<lumi::ContentDecoder> decoder_; // the answer's Content-Encoding, if asked for
    size_t rcvdHeaderBytes_ = 0;
    unsigned generation_ = 0; // deferred steps of an earlier request or hop are dropped
    std::unique_ptr<char[]> postBlock_;
    int headerLineCount_ = 0;
    int bodyBlockCount_ = 0;
    int relocationCount_ = 0;
    bool connected_ = false;
    bool relocationPending_ = false;
    bool allowedToSend_ = false;
    bool inBody_ = false; // next-line handler: false header handling, true body handling
    int requestDoneError_ = 0;
    ClosedHandler closedHandler_ = ClosedHandler::Completion;
    Tunnel tunnel_ = Tunnel::None;
    int tunnelStatus_ = 0; // the proxy's answer to CONNECT
    std::string notice_;
    // Persistent connections.
    lumi::KeptConnection adopted_;
    std::string hopKey_; // where the current connection leads
    bool reused_ = false;    // the current hop runs on a connection left open before
    bool retried_ = false;   // a reused connection failed and a new one was taken
    // What the answer said of its connection: its status line's version, and its Connection field.
    bool answerHttp11_ = false, saysClose_ = false, saysKeepAlive_ = false;
    bool overran_ = false;   // bytes came after the end of the body
    bool reusable_ = false;  // the request is done and its connection is open and idle
    std::optional<lumi::ChunkedBody> dechunk_;
};
