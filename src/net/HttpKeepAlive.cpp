// Persistent connections: HTTP/1.1 requests whose connection outlives the answer, handed
// from one client to the next (net/ConnectionPool.h) when both go to the same place.
#include <utility>

#include <QByteArray>
#include <QCryptographicHash>

#include "base/TextOps.h"
#include "net/HttpCliInternal.h"

namespace {

// Where requests to origin connect: its scheme, host and port, or the proxy and, for https,
// the tunnel's origin; through a proxy its login too, as a digest (a connection or tunnel
// the proxy let in under one login must not carry requests made under another).
std::string placeKey(const lumi::HttpAddress& origin, const std::string& proxy,
                     const std::string& proxyPort, const std::string& proxyLogin) {
    const std::string scheme = origin.tls ? "https://" : "http://";
    const std::string host = lumi::textLower(origin.host) + ":" + lumi::portOrDefault(origin);
    if (proxy.empty()) return scheme + host;
    const lumi::UrlParts via = lumi::splitUrl(proxy);
    std::string proxyPlace =
        lumi::textLower(via.host) + ":" + (via.port.empty() ? proxyPort : via.port);
    if (!proxyLogin.empty())
        proxyPlace += " login " + QCryptographicHash::hash(QByteArray::fromStdString(proxyLogin),
                                                           QCryptographicHash::Sha256)
                                      .toHex()
                                      .toStdString();
    // Plain requests to any origin share a connection to the proxy; a tunnel leads to one.
    return origin.tls ? scheme + host + " via " + proxyPlace : "http via " + proxyPlace;
}

} // namespace

std::string THttpCli::proxyLogin() const {
    return ProxyUsername.empty() ? std::string() : ProxyUsername + ":" + ProxyPassword;
}

std::string THttpCli::ConnectionKey() const {
    const lumi::UrlParts parts = lumi::splitUrl(lumi::withoutFragment(URL));
    return placeKey({parts.host, parts.port, parts.path, lumi::isHttpsScheme(parts.proto)}, Proxy,
                    ProxyPort, proxyLogin());
}

std::string THttpCli::hopKey() const {
    return placeKey(current_, Proxy, ProxyPort, proxyLogin());
}

void THttpCli::AdoptConnection(lumi::KeptConnection connection) {
    adopted_ = std::move(connection);
}

lumi::KeptConnection THttpCli::TakeConnection() {
    if (state_ != httpReady || !reusable_ || socket_->State() != wsConnected) return {};
    reusable_ = false;
    if (socket_->InputPending()) {
        closeQuietly();
        return {};
    }
    lumi::KeptConnection kept{hopKey_, std::exchange(socket_, std::make_unique<TWSocket>())};
    bindSocket();
    kept.socket->OnDnsLookupDone = nullptr;
    kept.socket->OnSessionConnected = nullptr;
    kept.socket->OnDataAvailable = nullptr;
    kept.socket->OnDataSent = nullptr;
    kept.socket->OnSessionClosed = nullptr;
    return kept;
}

// Starts the request on this client's own idle connection or an adopted one when it leads
// where the request goes; any other open connection is closed. False: connect anew.
bool THttpCli::reuseConnection() {
    const std::string key = hopKey();
    reused_ = false;
    if (reusable_ && hopKey_ == key && socket_->State() == wsConnected) {
        reused_ = true;
    } else if (adopted_.socket && adopted_.key == key &&
               adopted_.socket->State() == wsConnected) {
        socket_ = std::move(adopted_.socket); // the closed one goes silently
        bindSocket();
        hopKey_ = key;
        reused_ = true;
    }
    reusable_ = false;
    adopted_ = {};
    if (!reused_) {
        closeQuietly();
        return false;
    }
    // As a new connection would, the request goes out from the event loop, not from Start.
    post(&THttpCli::deferredReuse, generation_);
    return true;
}

// Just before the request goes out: an idle connection has nothing to say, so anything
// waiting on it (a late answer to an earlier request, the server's close) makes it stale.
void THttpCli::deferredReuse() {
    if (socket_->State() != wsConnected || socket_->InputPending()) return dropStaleConnection();
    tunnel_ = Tunnel::None;
    socketSessionConnected(0);
}

// The kept connection cannot carry the request: it goes once over a new connection instead.
void THttpCli::dropStaleConnection() {
    closeQuietly();
    retried_ = true;
    post(&THttpCli::deferredRestart, ++generation_); // a queued reuse step is dropped
}

void THttpCli::closeQuietly() {
    if (socket_->State() == wsClosed) return;
    closedHandler_ = ClosedHandler::None;
    socket_->Close();
    closedHandler_ = ClosedHandler::Completion;
}

// A server may close a kept connection at any moment it is idle, even as a request goes out
// on it: a request that got no byte of an answer goes once more over a new connection.
bool THttpCli::retryOnNewConnection() {
    if (!reused_ || retried_ || kind_ == httpPOST || requestDoneError_ != 0) return false;
    if (state_ != httpNotConnected && state_ != httpConnected && state_ != httpWaitingHeader)
        return false;
    if (headerLineCount_ != 0 || !parser_.empty()) return false;
    retried_ = true;
    connected_ = false;
    post(&THttpCli::deferredRestart, ++generation_); // a queued reuse step is dropped
    return true;
}

void THttpCli::answerStatus(const std::string& statusLine) {
    answerHttp11_ = statusLine.rfind("HTTP/1.1", 0) == 0;
    saysClose_ = false;
    saysKeepAlive_ = false;
}

void THttpCli::connectionField(const std::string& value) {
    const std::string options = lumi::textLower(value);
    if (options.find("close") != std::string::npos) saysClose_ = true;
    if (options.find("keep-alive") != std::string::npos) saysKeepAlive_ = true;
}

void THttpCli::bodyComplete() {
    if (!packedBodyWhole()) return;
    const bool serverKeeps = !saysClose_ && (answerHttp11_ || saysKeepAlive_);
    if (KeepAlive && serverKeeps && !overran_ && requestDoneError_ == 0 && !relocationPending_ &&
        socket_->State() == wsConnected) {
        reusable_ = true;
        closedHandler_ = ClosedHandler::None; // a close while idle ends nothing
        completion();
        return;
    }
    socket_->Close();
}
