#include "net/HttpProt.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <QIODevice>
#include <QMetaObject>

#include "base/ErrorReport.h"
#include "base/TextOps.h"
#include "net/ConnectionPool.h"
#include "net/ContentDecoding.h"
#include "net/HttpCliInternal.h"
#include "net/TlsSession.h"

namespace {

// Characters kept of the file name taken from the URL path.
constexpr size_t maxDocNameLength = 255;

} // namespace

THttpCli::THttpCli(QObject* owner)
    : QObject(owner), notifier_(std::make_unique<lumi::HttpNotifier>()),
      life_(std::make_shared<bool>(true)), socket_(std::make_unique<TWSocket>()),
      postBlock_(new char[lumi::httpPostBlockSize]) {
    bindSocket();
}

void THttpCli::bindSocket() {
    socket_->OnDnsLookupDone = [this](TWSocket*, int error) { socketDnsLookupDone(error); };
    socket_->OnSessionConnected = [this](TWSocket*, int error) { socketSessionConnected(error); };
    socket_->OnDataAvailable = [this](TWSocket*, int) { socketDataAvailable(); };
    socket_->OnDataSent = [this](TWSocket*, int) { socketDataSent(); };
    socket_->OnSessionClosed = [this](TWSocket*, int error) { socketSessionClosed(error); };
    socket_->OnChangeState = nullptr;
}

THttpCli::~THttpCli() {
    life_.reset();
    notifier_.reset();
    // The socket closes itself, silently, as a member going out of scope.
}

// ---------------------------------------------------------------- state and deferred steps

void THttpCli::setState(THttpState newState) {
    if (state_ == newState) return;
    state_ = newState;
    if (newState == httpReady) {
        const THttpRequest kind = kind_;
        const int error = requestDoneError_;
        QMetaObject::invokeMethod(
            notifier_.get(), [this, kind, error] { deferredRequestDone(kind, error); },
            Qt::QueuedConnection);
    }
    fire(OnStateChange);
}

void THttpCli::post(void (THttpCli::*step)(), unsigned generation) {
    QMetaObject::invokeMethod(
        notifier_.get(),
        [this, generation, step] {
            if (generation == generation_) lumi::runUnderDefaultHandler([&] { (this->*step)(); });
        },
        Qt::QueuedConnection);
}

void THttpCli::deferredSetReady() {
    setState(httpReady);
}

void THttpCli::deferredRequestDone(THttpRequest kind, int error) {
    // The handler may destroy this client: nothing of it is touched afterwards.
    auto handler = OnRequestDone;
    if (handler) lumi::runUnderDefaultHandler([&] { handler(this, kind, error); });
}

// ---------------------------------------------------------------- starting

void THttpCli::StartGet() {
    startRequest(httpGET);
}
void THttpCli::StartHead() {
    startRequest(httpHEAD);
}
void THttpCli::StartPost() {
    startRequest(httpPOST);
}

void THttpCli::startRequest(THttpRequest kind) {
    if (state_ != httpReady) throw EHttpException("HTTP component is busy", 1);
    if (kind == httpPOST && !SendStream)
        throw EHttpException("HTTP component has nothing to post", 2);
    ++generation_;
    if (MultiThreaded) socket_->setMultiThreaded(true);
    rcvdHeader_.clear();
    rcvdHeaderBytes_ = 0;
    kind_ = kind;
    requestDoneError_ = 0;
    closedHandler_ = ClosedHandler::Completion;
    relocationCount_ = 0;
    relocationPending_ = false;
    retried_ = false;
    // The values of the last request stay readable in this change; they are reset after it.
    setState(httpNotConnected);
    resetAnswer();
    docName_.clear();
    statusCode_ = 0;
    rcvdCount_ = 0;
    sentCount_ = 0;
    allowedToSend_ = false;
    location_ = URL;
    notice_.clear();

    const lumi::UrlParts url = lumi::splitUrl(lumi::withoutFragment(URL));
    current_ = {url.host, url.port, url.path, lumi::isHttpsScheme(url.proto)};
    loginOrigin_ = current_;
    hostLine_ = lumi::hostWithPort(current_);
    docName_ = url.path;
    if (!url.user.empty()) Username = url.user;
    if (!url.pass.empty()) Password = url.pass;
    if (!Proxy.empty()) {
        // Inside a tunnel the origin is spoken to directly: origin-form request lines.
        requestPath_ = lumi::escapeRequestTarget(
            current_.tls
                ? url.path
                : (url.proto.empty() ? std::string("http") : url.proto) + "://" + url.host +
                      (url.port.empty() ? std::string() : ":" + url.port) + url.path);
        const lumi::UrlParts proxy = lumi::splitUrl(Proxy);
        connectHost_ = proxy.host;
        connectPort_ = proxy.port.empty() ? ProxyPort : proxy.port;
    } else {
        requestPath_ = lumi::escapeRequestTarget(url.path);
        connectHost_ = url.host;
        connectPort_ = lumi::portOrDefault(current_);
    }
    if (requestPath_.empty()) requestPath_ = std::string("/"); // not a literal: GCC 12 -Wrestrict

    if (docName_.empty() || docName_ == "/") {
        docName_ = "document.htm";
    } else {
        if (docName_.back() == '/') docName_.pop_back();
        const size_t slash = docName_.rfind('/');
        if (slash != std::string::npos) docName_.erase(0, slash + 1);
        if (docName_.size() > maxDocNameLength) docName_.resize(maxDocNameLength);
        const size_t query = docName_.find('?');
        if (query != std::string::npos) docName_.resize(query);
    }
    if (!reuseConnection()) startLookup(true);
}

// Forgets the last answer's reading: the next answer's header and body set it anew.
void THttpCli::resetAnswer() {
    parser_.clear();
    inBody_ = false;
    statusLineDue_ = true;
    headerLineCount_ = 0;
    bodyBlockCount_ = 0;
    contentLength_ = -1;
    bodyLeft_ = -1;
    chunked_ = false;
    overran_ = false;
    dechunk_.reset();
    decoder_.reset();
}

// Starts the name lookup of the connect host. A lookup that cannot start leaves the client
// ready again: at the start the error goes to the caller, on a relocation it ends the request.
namespace {
// The socket speaks IPv4 only: a bracketed literal host is said to be unsupported rather
// than unknown.
std::string lookupFailureText(const std::string& host) {
    return !host.empty() && host.front() == '[' ? "IPv6 addresses are not supported"
                                                : "can't resolve hostname to IP address";
}
} // namespace

void THttpCli::startLookup(bool raise) {
    std::weak_ptr<bool> token = life_;
    setState(httpDnsLookup);
    if (token.expired()) return;
    try {
        socket_->DnsLookup(connectHost_);
    } catch (...) {
        if (token.expired()) throw;
        if (raise) {
            ++generation_;
            setStateQuietly(httpReady);
            throw;
        }
        requestDoneError_ = socket_->LastError() ? socket_->LastError() : lumi::wsaEINVAL;
        statusCode_ = 404;
        reasonPhrase_ = lookupFailureText(connectHost_);
        completion();
    }
}

// ---------------------------------------------------------------- connecting

// A TLS failure is told in the TLS layer's words; other socket errors by their text and number.
std::string THttpCli::connectFailureText(int code) {
    if (lumi::isTlsError(code) && !socket_->TlsErrorText().empty()) return socket_->TlsErrorText();
    return lumi::socketErrorText(code) + " (Error #" + std::to_string(code) + ")";
}

void THttpCli::socketDnsLookupDone(int error) {
    if (error != 0) {
        if (state_ == httpAborting) return;
        requestDoneError_ = error;
        statusCode_ = 404;
        reasonPhrase_ = lookupFailureText(connectHost_);
        completion();
        return;
    }
    if (state_ != httpDnsLookup) return;
    std::weak_ptr<bool> token = life_;
    setState(httpDnsLookupDone);
    if (token.expired() || state_ != httpDnsLookupDone) return;
    for (bool descriptorsFreed = false;;) {
        try {
            return connectSocket();
        } catch (...) {
            if (token.expired()) return;
        }
        int code = socket_->LastError();
        // Out of descriptors: the idle kept connections give theirs back, and the connect is
        // tried once more.
        if (code == lumi::wsaEMFILE && !std::exchange(descriptorsFreed, true) &&
            socket_->State() == wsClosed && lumi::ConnectionPool::closeIdleEverywhere() > 0)
            continue;
        // A port or address that cannot be read leaves no socket error behind; report it as
        // an invalid argument rather than as success.
        if (code == 0) code = lumi::wsaEINVAL;
        requestDoneError_ = code;
        statusCode_ = 404;
        reasonPhrase_ = "can't connect: " + connectFailureText(code);
        const bool hadSocket = socket_->State() != wsClosed;
        socket_->Close();
        if (token.expired()) return;
        if (!hadSocket) completion();
        return;
    }
}

void THttpCli::connectSocket() {
    socket_->setAddr(socket_->DnsResult());
    socket_->setPort(connectPort_);
    socket_->setProto("tcp");
    // https: TLS to the origin, on this connection or inside the proxy's tunnel. The name
    // checked and sent is the address's, not the looked-up IP.
    const bool viaProxy = !Proxy.empty();
    tunnel_ = current_.tls && viaProxy ? Tunnel::Wanted : Tunnel::None;
    hopKey_ = hopKey();
    socket_->setTlsHost(current_.tls && !viaProxy ? current_.host : std::string());
    socket_->Connect();
}

void THttpCli::socketSessionConnected(int error) {
    if (error != 0) {
        if (state_ == httpAborting || state_ == httpReady) return;
        requestDoneError_ = error;
        statusCode_ = 404;
        reasonPhrase_ = connectFailureText(error);
        completion();
        return;
    }
    if (tunnel_ == Tunnel::Wanted) return sendTunnelRequest();
    std::weak_ptr<bool> token = life_;
    connected_ = true;
    setState(httpConnected);
    if (!fire(OnSessionConnected) || state_ != httpConnected) return;
    inBody_ = false;
    setState(httpWaitingHeader);
    if (token.expired() || state_ != httpWaitingHeader) return;
    try {
        static const char* const methods[] = {"GET", "GET", "POST", "HEAD"};
        sendRequest(methods[kind_]);
        if (token.expired() || state_ != httpWaitingHeader) return;
        if (kind_ == httpPOST) {
            if (!fire(OnSendBegin)) return;
            allowedToSend_ = true;
            sendPostBlock();
        }
    } catch (...) {
        if (token.expired()) return;
        socket_->Close();
    }
}

// ---------------------------------------------------------------- request

void THttpCli::sendCommand(const std::string& line) {
    fire(OnCommand, line);
    request_ += line;
    request_ += "\r\n";
}

void THttpCli::sendRequest(const char* method) {
    request_.clear();
    fire(OnRequestHeaderBegin);
    sendCommand(std::string(method) + " " + requestPath_ + (KeepAlive ? " HTTP/1.1" : " HTTP/1.0"));
    if (!Sender.empty()) sendCommand("From: " + Sender);
    if (!Accept.empty()) sendCommand("Accept: " + Accept);
    if (!AcceptLanguage.empty()) sendCommand("Accept-Language: " + AcceptLanguage);
    if (!AcceptEncoding.empty()) sendCommand("Accept-Encoding: " + AcceptEncoding);
    if (!Reference.empty()) sendCommand("Referer: " + Reference);
    if (!Range.empty()) sendCommand("Range: " + Range);
    if (kind_ == httpPOST && !ContentTypePost.empty())
        sendCommand("Content-Type: " + ContentTypePost);
    if (!Agent.empty()) sendCommand("User-Agent: " + Agent);
    sendCommand("Host: " + hostLine_);
    if (NoCache) sendCommand("Pragma: no-cache");
    if (kind_ == httpPOST)
        sendCommand("Content-Length: " + std::to_string(SendStream ? SendStream->size() : 0));
    if (!ModifiedSince.isNull())
        sendCommand("If-Modified-Since: " + lumi::httpDateText(ModifiedSince) + " GMT");
    if (!Username.empty() && lumi::sameOrigin(current_, loginOrigin_))
        sendCommand("Authorization: Basic " + lumi::base64Encode(Username + ":" + Password));
    // Inside an https tunnel the request goes to the origin: the proxy's login went with the
    // CONNECT and must not reach the origin.
    if (!Proxy.empty() && !current_.tls)
        if (const std::string line = proxyAuthorizationLine(); !line.empty()) sendCommand(line);
    if (!Cookie.empty()) sendCommand("Cookie: " + Cookie);
    for (const std::string& line : ExtraHeaders)
        if (line.find_first_of("\r\n") == std::string::npos) sendCommand(line);
    fire(OnRequestHeaderEnd);
    sendCommand("");
    const std::string bytes = std::move(request_);
    request_.clear();
    socket_->SendStr(bytes);
}

void THttpCli::sendPostBlock() {
    const qint64 n =
        SendStream ? SendStream->read(postBlock_.get(), lumi::httpPostBlockSize) : qint64(-1);
    if (n > 0) {
        sentCount_ += n;
        if (!fire(OnSendData, static_cast<const char*>(postBlock_.get()), static_cast<int>(n)))
            return;
        if (socket_->State() == wsConnected) socket_->Send(postBlock_.get(), static_cast<int>(n));
        return;
    }
    allowedToSend_ = false;
    fire(OnSendEnd);
}

void THttpCli::socketDataSent() {
    if (allowedToSend_) sendPostBlock();
}

// ---------------------------------------------------------------- completion and abort

void THttpCli::socketSessionClosed(int error) {
    switch (closedHandler_) {
    case ClosedHandler::Completion:
        if (retryOnNewConnection()) return;
        // A headerless document hands over its lines one by one; a last line without a
        // line end would otherwise stay in the buffer and be lost with the connection.
        if (state_ == httpWaitingBody && inBody_ && parser_.hasPending()) {
            std::weak_ptr<bool> token = life_;
            pendingToBody();
            if (token.expired()) return;
        }
        if (tunnel_ == Tunnel::Asked) tunnelClosed();
        if (state_ == httpWaitingBody && requestDoneError_ == 0 && !bodyEndedByClose(error))
            return completion();
        // Only a clean close ends a body without length: a reset cut it short.
        if (error != 0 && requestDoneError_ == 0 &&
            (state_ == httpWaitingHeader || state_ == httpWaitingBody)) {
            requestDoneError_ = error;
            statusCode_ = 404;
            reasonPhrase_ = connectFailureText(error);
        }
        completion();
        break;
    case ClosedHandler::Relocation:
        relocationClosed();
        break;
    case ClosedHandler::None:
        break;
    }
}

// A close in the body: only a body without length or last chunk ends there. False when the
// close cut the body short (the request's error is then set).
bool THttpCli::bodyEndedByClose(int error) {
    if (bodyLeft_ > 0) {
        requestDoneError_ = lumi::httpShortBodyError;
        reasonPhrase_ = "Document incomplete: " + std::to_string(rcvdCount_) + " of " +
                        std::to_string(contentLength_) + " bytes received";
        return false;
    }
    if (dechunk_ && !dechunk_->complete()) {
        requestDoneError_ = lumi::httpShortBodyError;
        reasonPhrase_ = "Broken chunked body: cut short";
        return false;
    }
    // Ended by its length or last chunk, it was checked then; a reset is no end.
    if (bodyLeft_ == 0 || dechunk_ || error != 0) return true;
    if (decoder_ && !decoder_->finish()) {
        requestDoneError_ = lumi::httpDecodeError;
        statusCode_ = 404;
        reasonPhrase_ = decoder_->error();
        return false;
    }
    // Over TLS without close_notify such a body may be cut short, which only the
    // diagnostics can tell.
    if (socket_->TlsEndedWithoutCloseNotify())
        notice_ = "TLS stream of " + current_.host +
                  " ended without close_notify: the body is taken as complete";
    return true;
}

void THttpCli::completion() {
    // Taken before OnDocEnd: a handler that aborts and starts the next request must not
    // have that request set ready by this one's step.
    const unsigned generation = generation_;
    connected_ = false;
    if (bodyBlockCount_ > 0 && !fire(OnDocEnd)) return;
    post(&THttpCli::deferredSetReady, generation);
}

void THttpCli::setStateQuietly(THttpState newState) {
    if (state_ == newState) return;
    state_ = newState;
    fire(OnStateChange);
}

void THttpCli::Abort() {
    std::weak_ptr<bool> token = life_;
    if (state_ == httpReady) {
        closeQuietly();
        return;
    }
    ++generation_;
    const bool wasLookup = state_ == httpDnsLookup;
    setState(httpAborting);
    if (token.expired()) return;
    if (wasLookup) {
        try {
            socket_->CancelDnsLookup();
        } catch (...) {
        }
    }
    statusCode_ = 404;
    reasonPhrase_ = "Connection aborted on request";
    requestDoneError_ = lumi::httpAbortedError;
    relocationPending_ = false;
    // A request already complete on a kept connection has had its OnDocEnd.
    closedHandler_ = std::exchange(reusable_, false) ? ClosedHandler::None
                                                     : ClosedHandler::Completion;
    if (wasLookup)
        completion();
    else
        socket_->Close();
    if (token.expired()) return;
    parser_.clear();
    setState(httpReady);
}
