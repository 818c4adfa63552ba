#include <algorithm>

#include "base/TextOps.h"
#include "net/HttpProt.h"

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

std::string hostAndPort(std::string_view url) {
    const UrlParts parts = splitUrl(url);
    return textLower(parts.host) + ":" + parts.port;
}

} // namespace lumi
