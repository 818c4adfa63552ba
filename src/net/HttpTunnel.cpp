// https through an HTTP proxy: CONNECT host:port, a 2xx answer, then TLS to the origin
// inside the tunnel and the request as if the origin were connected directly.
#include <cstdint>

#include "base/TextOps.h"
#include "net/HttpCliInternal.h"
#include "net/TlsSession.h"

std::string THttpCli::tunnelTarget() const {
    return current_.host + ":" + lumi::portOrDefault(current_);
}

std::string THttpCli::proxyAuthorizationLine() const {
    if (ProxyUsername.empty()) return {};
    return "Proxy-Authorization: Basic " + lumi::base64Encode(ProxyUsername + ":" + ProxyPassword);
}

void THttpCli::sendTunnelRequest() {
    tunnel_ = Tunnel::Asked;
    tunnelStatus_ = 0;
    parser_.clear();
    const std::string target = tunnelTarget();
    std::string request = "CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n";
    if (const std::string line = proxyAuthorizationLine(); !line.empty()) request += line + "\r\n";
    request += "\r\n";
    socket_->SendStr(request);
}

void THttpCli::tunnelDataAvailable() {
    const std::string refused = "Proxy refused the tunnel to " + tunnelTarget() + ": ";
    if (parser_.room() <= 0) {
        tunnel_ = Tunnel::None;
        stopOnBrokenResponse(lumi::httpTunnelRefusedError, refused + "answer too long");
        return;
    }
    const int n = socket_->Receive(parser_.space(), parser_.room());
    if (n <= 0) return;
    parser_.added(n);
    std::string line;
    while (parser_.nextLine(line)) {
        const lumi::HttpHeaderLine read = lumi::HttpResponseParser::readHeaderLine(line);
        if (read.kind == lumi::HttpHeaderLine::Kind::StatusLine) {
            tunnelStatus_ = read.validStatus ? read.statusCode : 0;
            if (tunnelStatus_ < 200 || tunnelStatus_ > 299) {
                tunnel_ = Tunnel::None;
                // The status and the reason as the proxy wrote them: "403 Forbidden".
                stopOnBrokenResponse(lumi::httpTunnelRefusedError,
                                     refused + lumi::textCopy(line, 10, INT32_MAX));
                return;
            }
        } else if (read.kind == lumi::HttpHeaderLine::Kind::EndOfHeader && tunnelStatus_ != 0) {
            tunnel_ = Tunnel::None;
            parser_.clear();
            // OnSessionConnected comes again once the handshake with the origin is done.
            socket_->StartTls(current_.host, lumi::portOrDefault(current_));
            return;
        }
    }
}

void THttpCli::tunnelClosed() {
    tunnel_ = Tunnel::None;
    if (requestDoneError_ != 0) return;
    requestDoneError_ = lumi::httpTunnelRefusedError;
    statusCode_ = 404;
    reasonPhrase_ = "Proxy refused the tunnel to " + tunnelTarget() + ": connection closed";
}
