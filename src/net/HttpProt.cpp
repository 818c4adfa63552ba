#include "net/HttpProt.h"

#include <algorithm>
#include <cstring>

#include <QIODevice>
#include <QMetaObject>

#include "base/ErrorReport.h"
#include "base/TextOps.h"

namespace lumi {

// The client's private QObject: the deferred steps are queued calls to it, so they are
// dropped when the client (and with it this object) is destroyed first.
class HttpNotifier : public QObject {};

} // namespace lumi

namespace {

// Memory kept in RcvdHeader for one request (all relocation hops together). Each line
// counts its text and its string object, so that a flood of tiny lines is bounded too.
constexpr size_t maxHeaderBytes = 1024 * 1024;
constexpr size_t headerLineCost = sizeof(std::string);
// Entries kept in the list of authentication requests.
constexpr size_t maxAuthenticateEntries = 64;
// Characters kept of the file name taken from the URL path.
constexpr size_t maxDocNameLength = 255;

const char* const stateNames[] = {"httpReady",       "httpNotConnected",  "httpConnected",
                                  "httpDnsLookup",   "httpDnsLookupDone", "httpWaitingHeader",
                                  "httpWaitingBody", "httpAborting"};

// Decimal digits only, fitting 63 bits.
bool parseDecimal(std::string_view text, int64_t& value) {
    if (text.empty()) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        if (v > (INT64_MAX - 9) / 10) return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

std::string failureText(int code) {
    return lumi::socketErrorText(code) + " (Error #" + std::to_string(code) + ")";
}

} // namespace

namespace lumi {

UrlParts splitUrl(std::string_view url) {
    UrlParts r;
    if (url.empty()) return r;
    std::string_view rest;
    const size_t scheme = url.find("://");
    if (scheme != std::string_view::npos) {
        r.proto = std::string(url.substr(0, scheme));
        rest = url.substr(scheme + 3);
    } else if (url[0] == '/') {
        r.proto = "http";
        if (url.size() > 1 && url[1] != '/') {
            r.path = std::string(url);
            return r;
        }
        rest = url.substr(1);
    } else if (textLower(url.substr(0, 5)) == "http:") {
        r.proto = "http";
        if (url.size() > 6 && url[6] != '/') {
            r.path = std::string(url.substr(5));
            return r;
        }
        rest = url.substr(std::min<size_t>(6, url.size()));
    } else if (textLower(url.substr(0, 7)) == "mailto:") {
        r.proto = "mailto";
        rest = url.substr(url.find(':') + 1);
    } else {
        rest = url;
    }
    std::string_view authority = rest;
    const size_t slash = rest.find('/');
    if (slash != std::string_view::npos) {
        r.path = std::string(rest.substr(slash));
        authority = rest.substr(0, slash);
    }
    const size_t colon = authority.rfind(':');
    const size_t at = authority.rfind('@');
    const size_t npos = std::string_view::npos;
    if (colon == npos && at == npos) {
        r.host = std::string(authority);
    } else if (colon != npos && (at == npos || colon > at)) {
        const size_t hostStart = at == npos ? 0 : at + 1;
        r.port = std::string(authority.substr(colon + 1));
        r.host = std::string(authority.substr(hostStart, colon - hostStart));
    } else {
        r.host = std::string(authority.substr(at + 1));
    }
    if (at != npos) {
        const std::string_view userPart = authority.substr(0, at);
        const size_t c = userPart.find(':');
        if (c == npos) {
            r.user = std::string(userPart);
        } else {
            r.user = std::string(userPart.substr(0, c));
            r.pass = std::string(userPart.substr(c + 1));
        }
    }
    return r;
}

const char* httpStateName(THttpState state) {
    return state <= httpAborting ? stateNames[state] : "httpUnknown";
}

std::string base64Encode(std::string_view data) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const uint32_t v =
            (uint8_t(data[i]) << 16) | (uint8_t(data[i + 1]) << 8) | uint8_t(data[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (i < data.size()) {
        uint32_t v = uint8_t(data[i]) << 16;
        if (i + 1 < data.size()) v |= uint8_t(data[i + 1]) << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < data.size() ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string httpDateText(const QDateTime& when) {
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    if (!d.isValid()) return {};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %2.2d %s %4.4d %2.2d:%2.2d:%2.2d", days[d.dayOfWeek() - 1],
                  d.day(), months[d.month() - 1], d.year(), t.hour(), t.minute(), t.second());
    return buf;
}

} // namespace lumi

THttpCli::THttpCli(QObject* owner)
    : QObject(owner), notifier_(std::make_unique<lumi::HttpNotifier>()),
      life_(std::make_shared<bool>(true)), postBlock_(new char[lumi::httpPostBlockSize]) {
    lineBuffer_[0] = 0;
    socket_.OnDnsLookupDone = [this](TWSocket*, int error) { socketDnsLookupDone(error); };
    socket_.OnSessionConnected = [this](TWSocket*, int error) { socketSessionConnected(error); };
    socket_.OnDataAvailable = [this](TWSocket*, int) { socketDataAvailable(); };
    socket_.OnDataSent = [this](TWSocket*, int) { socketDataSent(); };
    socket_.OnSessionClosed = [this](TWSocket*, int) { socketSessionClosed(); };
}

THttpCli::~THttpCli() {
    life_.reset();
    notifier_.reset();
    // The socket closes itself, silently, as a member going out of scope.
}

// ---------------------------------------------------------------- state and deferred steps

template <class... Params, class... Args>
bool THttpCli::fire(const std::function<void(THttpCli*, Params...)>& event, Args&&... args) {
    if (!event) return true;
    std::weak_ptr<bool> token = life_;
    event(this, std::forward<Args>(args)...);
    return !token.expired();
}

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
    if (MultiThreaded) socket_.setMultiThreaded(true);
    rcvdHeader_.clear();
    rcvdHeaderBytes_ = 0;
    kind_ = kind;
    requestDoneError_ = 0;
    closedHandler_ = ClosedHandler::Completion;
    relocationCount_ = 0;
    relocationPending_ = false;
    fillCount_ = 0;
    bufStart_ = 0;
    inBody_ = false;
    // The values of the last request stay readable in this change; they are reset after it.
    setState(httpNotConnected);
    docName_.clear();
    statusCode_ = 0;
    rcvdCount_ = 0;
    sentCount_ = 0;
    headerLineCount_ = 0;
    bodyBlockCount_ = 0;
    contentLength_ = -1;
    bodyLeft_ = -1;
    allowedToSend_ = false;
    location_ = URL;

    const lumi::UrlParts url = lumi::splitUrl(lumi::withoutFragment(URL));
    current_ = {url.host, url.port, url.path};
    hostLine_ = lumi::hostWithPort(current_);
    docName_ = url.path;
    if (!url.user.empty()) Username = url.user;
    if (!url.pass.empty()) Password = url.pass;
    if (!Proxy.empty()) {
        requestPath_ = lumi::escapeRequestTarget(
            (url.proto.empty() ? std::string("http") : url.proto) + "://" + url.host +
            (url.port.empty() ? std::string() : ":" + url.port) + url.path);
        const lumi::UrlParts proxy = lumi::splitUrl(Proxy);
        connectHost_ = proxy.host;
        connectPort_ = proxy.port.empty() ? ProxyPort : proxy.port;
    } else {
        requestPath_ = lumi::escapeRequestTarget(url.path);
        connectHost_ = url.host;
        connectPort_ = url.port.empty() ? std::string("80") : url.port;
    }
    if (requestPath_.empty()) requestPath_ = "/";

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
    startLookup(true);
}

// Starts the name lookup of the connect host. A lookup that cannot start leaves the client
// ready again: at the start the error goes to the caller, on a relocation it ends the request.
void THttpCli::startLookup(bool raise) {
    std::weak_ptr<bool> token = life_;
    setState(httpDnsLookup);
    if (token.expired()) return;
    try {
        socket_.DnsLookup(connectHost_);
    } catch (...) {
        if (token.expired()) throw;
        if (raise) {
            ++generation_;
            setStateQuietly(httpReady);
            throw;
        }
        requestDoneError_ = socket_.LastError() ? socket_.LastError() : lumi::wsaEINVAL;
        statusCode_ = 404;
        reasonPhrase_ = "can't resolve hostname to IP address";
        completion();
    }
}

// ---------------------------------------------------------------- connecting

void THttpCli::socketDnsLookupDone(int error) {
    if (error != 0) {
        if (state_ == httpAborting) return;
        requestDoneError_ = error;
        statusCode_ = 404;
        reasonPhrase_ = "can't resolve hostname to IP address";
        completion();
        return;
    }
    if (state_ != httpDnsLookup) return;
    std::weak_ptr<bool> token = life_;
    setState(httpDnsLookupDone);
    if (token.expired() || state_ != httpDnsLookupDone) return;
    try {
        socket_.setAddr(socket_.DnsResult());
        socket_.setPort(connectPort_);
        socket_.setProto("tcp");
        socket_.Connect();
    } catch (...) {
        if (token.expired()) return;
        int code = socket_.LastError();
        // A port or address that cannot be read leaves no socket error behind; report it as
        // an invalid argument rather than as success.
        if (code == 0) code = lumi::wsaEINVAL;
        requestDoneError_ = code;
        statusCode_ = 404;
        reasonPhrase_ = "can't connect: " + failureText(code);
        const bool hadSocket = socket_.State() != wsClosed;
        socket_.Close();
        if (token.expired()) return;
        if (!hadSocket) completion();
    }
}

void THttpCli::socketSessionConnected(int error) {
    if (error != 0) {
        if (state_ == httpAborting || state_ == httpReady) return;
        requestDoneError_ = error;
        statusCode_ = 404;
        reasonPhrase_ = failureText(error);
        completion();
        return;
    }
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
        socket_.Close();
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
    sendCommand(std::string(method) + " " + requestPath_ + " HTTP/1.0");
    if (!Sender.empty()) sendCommand("From: " + Sender);
    if (!Accept.empty()) sendCommand("Accept: " + Accept);
    if (!Reference.empty()) sendCommand("Referer: " + Reference);
    if (kind_ == httpPOST && !ContentTypePost.empty())
        sendCommand("Content-Type: " + ContentTypePost);
    if (!Agent.empty()) sendCommand("User-Agent: " + Agent);
    sendCommand("Host: " + hostLine_);
    if (NoCache) sendCommand("Pragma: no-cache");
    if (kind_ == httpPOST)
        sendCommand("Content-Length: " + std::to_string(SendStream ? SendStream->size() : 0));
    if (!ModifiedSince.isNull())
        sendCommand("If-Modified-Since: " + lumi::httpDateText(ModifiedSince) + " GMT");
    if (!Username.empty())
        sendCommand("Authorization: Basic " + lumi::base64Encode(Username + ":" + Password));
    if (!Proxy.empty() && !ProxyUsername.empty())
        sendCommand("Proxy-Authorization: Basic " +
                    lumi::base64Encode(ProxyUsername + ":" + ProxyPassword));
    if (!Cookie.empty()) sendCommand("Cookie: " + Cookie);
    fire(OnRequestHeaderEnd);
    sendCommand("");
    const std::string bytes = std::move(request_);
    request_.clear();
    socket_.SendStr(bytes);
}

void THttpCli::sendPostBlock() {
    const qint64 n =
        SendStream ? SendStream->read(postBlock_.get(), lumi::httpPostBlockSize) : qint64(-1);
    if (n > 0) {
        sentCount_ += n;
        if (!fire(OnSendData, static_cast<const char*>(postBlock_.get()), static_cast<int>(n)))
            return;
        if (socket_.State() == wsConnected) socket_.Send(postBlock_.get(), static_cast<int>(n));
        return;
    }
    allowedToSend_ = false;
    fire(OnSendEnd);
}

void THttpCli::socketDataSent() {
    if (allowedToSend_) sendPostBlock();
}

// ---------------------------------------------------------------- input

void THttpCli::socketDataAvailable() {
    const int freeSpace = lumi::httpLineBufferSize - fillCount_;
    if (freeSpace <= 0) {
        stopOnBrokenResponse(lumi::httpLineTooLongError, "HTTP line too long");
        return;
    }
    if (state_ == httpWaitingBody && fillCount_ == 0 && kind_ != httpNone) {
        // A body block goes straight into LastResponse: the bytes are copied once, not twice.
        incoming_.resize(lumi::httpLineBufferSize);
        const int got = socket_.Receive(incoming_.data(), lumi::httpLineBufferSize);
        if (got <= 0) return;
        incoming_.resize(static_cast<size_t>(got));
        lastResponse_.swap(incoming_);
        bodyBlock();
        return;
    }
    const int n = socket_.Receive(lineBuffer_ + fillCount_, freeSpace);
    if (kind_ == httpNone || n <= 0) return;
    fillCount_ += n;
    lineBuffer_[fillCount_] = 0;
    if (state_ == httpWaitingBody) {
        if (fillCount_ > bufStart_) {
            lastResponse_.assign(lineBuffer_ + bufStart_, fillCount_ - bufStart_);
            fillCount_ = bufStart_ = 0;
            bodyBlock();
        }
        fillCount_ = bufStart_ = 0;
        return;
    }
    processLines();
}

void THttpCli::processLines() {
    std::weak_ptr<bool> token = life_;
    while (fillCount_ > bufStart_) {
        char* const start = lineBuffer_ + bufStart_;
        const size_t available = static_cast<size_t>(fillCount_ - bufStart_);
        // The buffer is read as a zero-terminated string: a zero byte hides what follows.
        const size_t visible = strnlen(start, available);
        const char* const lf = static_cast<const char*>(std::memchr(start, '\n', visible));
        if (!lf) break;
        size_t lineLen = static_cast<size_t>(lf - start);
        const size_t consumed = lineLen + 1;
        if (lineLen > 0 && start[lineLen - 1] == '\r') --lineLen;
        const bool handled = state_ == httpWaitingHeader || state_ == httpWaitingBody;
        if (handled) lastResponse_.assign(start, lineLen);
        bufStart_ += static_cast<int>(consumed);
        if (handled) {
            if (inBody_)
                bodyBlock();
            else
                headerLine();
            if (token.expired()) return;
        }
    }
    // Whatever is left moves to the front of the buffer.
    if (bufStart_ > 0) {
        const int left = std::max(0, fillCount_ - bufStart_);
        if (left > 0) std::memmove(lineBuffer_, lineBuffer_ + bufStart_, static_cast<size_t>(left));
        fillCount_ = left;
        bufStart_ = 0;
        lineBuffer_[fillCount_] = 0;
    }
}

void THttpCli::stopOnBrokenResponse(int error, const std::string& reason) {
    fillCount_ = bufStart_ = 0;
    lineBuffer_[0] = 0;
    relocationPending_ = false;
    closedHandler_ = ClosedHandler::Completion;
    requestDoneError_ = error;
    statusCode_ = 404;
    reasonPhrase_ = reason;
    if (socket_.State() != wsClosed)
        socket_.Close();
    else
        completion();
}

void THttpCli::headerLine() {
    std::weak_ptr<bool> token = life_;
    if (headerLineCount_ == 0 && !fire(OnHeaderBegin)) return;
    ++headerLineCount_;
    const std::string line = lastResponse_;

    if (line.size() >= 6 && lumi::textSameAnyCase(std::string_view(line).substr(0, 6), "<HTML>")) {
        if (contentType_.empty()) contentType_ = "text/html";
        setState(httpWaitingBody);
        inBody_ = true;
        if (token.expired() || !fire(OnHeaderEnd)) return;
        if (state_ != httpWaitingBody) return;
        lastResponse_ = line;
        bodyBlock();
        return;
    }

    if (line.empty()) {
        if (interimAnswer()) {
            statusCode_ = 0;
            return;
        }
        if (relocationPending_) {
            if (!fire(OnHeaderEnd)) return;
            fillCount_ = bufStart_ = 0;
            headerLineCount_ = 0;
            bodyBlockCount_ = 0;
            if (!relocationPending_ || state_ != httpWaitingHeader) return;
            closedHandler_ = ClosedHandler::Relocation;
            socket_.Close();
            return;
        }
        if (lumi::textLower(lumi::textFileExt(docName_)) == ".exe" && contentType_ == "text/html")
            docName_ = docName_.substr(0, docName_.size() - 3) + "htm";
        bodyLeft_ = announcedBodyLength();
        setState(httpWaitingBody);
        inBody_ = true;
        if (token.expired() || !fire(OnHeaderEnd)) return;
        // A handler that aborted the request has no use for the bytes after the header.
        if (state_ != httpWaitingBody) {
            fillCount_ = bufStart_ = 0;
            return;
        }
        if (bodyLeft_ != 0 && fillCount_ > bufStart_) {
            lastResponse_.assign(lineBuffer_ + bufStart_, fillCount_ - bufStart_);
            fillCount_ = bufStart_ = 0;
            bodyBlock();
            return;
        }
        fillCount_ = bufStart_ = 0;
        if (bodyLeft_ == 0 && socket_.State() != wsClosed) socket_.Close();
        return;
    }

    rcvdHeaderBytes_ += line.size() + headerLineCost;
    if (rcvdHeaderBytes_ > maxHeaderBytes) {
        stopOnBrokenResponse(lumi::httpLineTooLongError, "HTTP header too long");
        return;
    }
    rcvdHeader_.push_back(line);
    if (line.compare(0, 8, "HTTP/1.0") == 0 || line.compare(0, 8, "HTTP/1.1") == 0) {
        int64_t status = 0;
        if (!parseDecimal(lumi::textCopy(line, 10, 3), status)) {
            stopOnBrokenResponse(lumi::httpBadNumberError, "Invalid status code in response");
            return;
        }
        statusCode_ = static_cast<int>(status);
        reasonPhrase_ = lumi::textCopy(line, 14, INT32_MAX);
    } else {
        const size_t colon = line.find(':');
        // The fields of an interim answer are kept in RcvdHeader but mean nothing yet.
        if (colon != std::string::npos && !interimAnswer()) {
            const std::string name = lumi::textLower(std::string_view(line).substr(0, colon));
            // The value goes without the blanks and tabs around it, however many there are.
            const std::string value = lumi::textTrim(std::string_view(line).substr(colon + 1));
            if (name == "location") {
                if (!relocate(value)) return;
            } else if (name == "content-length") {
                int64_t length = 0;
                if (!parseDecimal(value, length)) {
                    stopOnBrokenResponse(lumi::httpBadNumberError,
                                         "Invalid Content-Length in response");
                    return;
                }
                contentLength_ = length;
            } else if (name == "content-type") {
                contentType_ = lumi::textLower(value);
            } else if (name == "www-authenticate") {
                if (wwwAuthenticate_.size() < maxAuthenticateEntries)
                    wwwAuthenticate_.push_back(value);
            } else if (name == "set-cookie") {
                bool accept = true;
                if (!fire(OnCookie, value, accept)) return;
            }
        }
    }
    if (!fire(OnHeaderData)) return;
    if (statusCode_ >= 400 && socket_.State() != wsClosed) socket_.Close();
}

void THttpCli::bodyBlock() {
    if (bodyLeft_ >= 0 && static_cast<int64_t>(lastResponse_.size()) > bodyLeft_)
        lastResponse_.resize(static_cast<size_t>(bodyLeft_));
    if (bodyBlockCount_ == 0 && !fire(OnDocBegin)) return;
    ++bodyBlockCount_;
    const int len = static_cast<int>(lastResponse_.size());
    rcvdCount_ += len;
    if (!fire(OnDocData, static_cast<const char*>(lastResponse_.data()), len)) return;
    if (RcvdStream && len > 0) RcvdStream->write(lastResponse_.data(), len);
    if (bodyLeft_ < 0) return;
    bodyLeft_ -= len;
    // The announced body is complete: a server that keeps the connection open is not waited
    // for, and whatever it sends after the body is not taken.
    if (bodyLeft_ == 0 && state_ == httpWaitingBody && socket_.State() != wsClosed) socket_.Close();
}

// The body length that ends the document: Content-Length, except for answers without a body.
int64_t THttpCli::announcedBodyLength() const {
    if (kind_ == httpHEAD || statusCode_ == 204 || statusCode_ == 304) return -1;
    return contentLength_;
}

// ---------------------------------------------------------------- relocation

// Computes the next request from a Location value; false when the request has been ended
// because the value names a protocol this client cannot speak.
bool THttpCli::relocate(const std::string& value) {
    // An empty value names no other document: the answer is taken as it is, rather than
    // asking for the same address again until the relocation bound ends the request.
    if (lumi::withoutFragment(value).empty()) return true;
    const lumi::ResolvedLocation next = lumi::resolveLocation(current_, value);
    if (!next.unsupportedScheme.empty()) {
        stopOnBrokenResponse(lumi::httpUnsupportedRelocationError,
                             "Relocation to an unsupported protocol: " + next.unsupportedScheme);
        return false;
    }
    current_ = next.address;
    if (!Proxy.empty()) {
        requestPath_ = lumi::escapeRequestTarget(
            "http://" + current_.host + (current_.port.empty() ? "" : ":" + current_.port) +
            current_.path);
    } else {
        requestPath_ = lumi::escapeRequestTarget(current_.path);
        connectHost_ = current_.host;
        connectPort_ = current_.port.empty() ? std::string("80") : current_.port;
        hostLine_ = lumi::hostWithPort(current_);
    }
    location_ = requestPath_;
    relocationPending_ = true;
    return true;
}

void THttpCli::relocationClosed() {
    connected_ = false;
    relocationPending_ = false;
    closedHandler_ = ClosedHandler::Completion;
    // Redirect loops would otherwise run for ever: downloads have no time-out of their own.
    if (++relocationCount_ > lumi::httpMaxRelocations) {
        requestDoneError_ = lumi::httpTooManyRedirectsError;
        statusCode_ = 404;
        reasonPhrase_ =
            "Too many relocations (more than " + std::to_string(lumi::httpMaxRelocations) + ")";
        completion();
        return;
    }
    const unsigned generation = generation_;
    if (!fire(OnLocationChange)) return;
    post(&THttpCli::deferredRestart, generation);
}

void THttpCli::deferredRestart() {
    if (state_ == httpReady || state_ == httpAborting) return;
    headerLineCount_ = 0;
    bodyBlockCount_ = 0;
    bodyLeft_ = -1;
    fillCount_ = bufStart_ = 0;
    inBody_ = false;
    startLookup(false);
}

// ---------------------------------------------------------------- completion and abort

void THttpCli::socketSessionClosed() {
    switch (closedHandler_) {
    case ClosedHandler::Completion:
        // A headerless document hands over its lines one by one; a last line without a
        // line end would otherwise stay in the buffer and be lost with the connection.
        if (state_ == httpWaitingBody && inBody_ && fillCount_ > bufStart_) {
            lastResponse_.assign(lineBuffer_ + bufStart_, fillCount_ - bufStart_);
            fillCount_ = bufStart_ = 0;
            std::weak_ptr<bool> token = life_;
            bodyBlock();
            if (token.expired()) return;
        }
        if (state_ == httpWaitingBody && bodyLeft_ > 0 && requestDoneError_ == 0) {
            requestDoneError_ = lumi::httpShortBodyError;
            reasonPhrase_ = "Document incomplete: " + std::to_string(rcvdCount_) + " of " +
                            std::to_string(contentLength_) + " bytes received";
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
        if (socket_.State() != wsClosed) {
            closedHandler_ = ClosedHandler::None;
            socket_.Close();
            closedHandler_ = ClosedHandler::Completion;
        }
        return;
    }
    ++generation_;
    const bool wasLookup = state_ == httpDnsLookup;
    setState(httpAborting);
    if (token.expired()) return;
    if (wasLookup) {
        try {
            socket_.CancelDnsLookup();
        } catch (...) {
        }
    }
    statusCode_ = 404;
    reasonPhrase_ = "Connection aborted on request";
    requestDoneError_ = lumi::httpAbortedError;
    relocationPending_ = false;
    closedHandler_ = ClosedHandler::Completion;
    if (wasLookup)
        completion();
    else
        socket_.Close();
    if (token.expired()) return;
    fillCount_ = bufStart_ = 0;
    setState(httpReady);
}
