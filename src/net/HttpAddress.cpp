#include "net/HttpAddress.h"

#include <cstring>

#include "base/TextOps.h"

namespace {

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool mayStandInTarget(unsigned char c) {
    return c > ' ' && c < 127 && !std::strchr("\"<>\\^`{|}", c);
}

// The scheme of an absolute reference ("http" in "http://h/x"), lower-cased; empty for a
// relative reference ("a:b/c" is a scheme only when the text before ":" is one).
std::string schemeOf(std::string_view ref) {
    const size_t colon = ref.find(':');
    if (colon == 0 || colon == std::string_view::npos) return {};
    const char first = ref[0];
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) return {};
    for (size_t i = 1; i < colon; ++i) {
        const char c = ref[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!ok) return {};
    }
    return lumi::textLower(ref.substr(0, colon));
}

// Removes "." and ".." segments from an absolute path (the usual rules for references:
// ".." never climbs above the root).
std::string removeDotSegments(std::string_view path) {
    std::string out;
    while (!path.empty()) {
        if (path.substr(0, 3) == "../") {
            path.remove_prefix(3);
        } else if (path.substr(0, 2) == "./") {
            path.remove_prefix(2);
        } else if (path.substr(0, 3) == "/./") {
            path.remove_prefix(2);
        } else if (path == "/.") {
            path = "/";
        } else if (path.substr(0, 4) == "/../" || path == "/..") {
            path = path.size() == 3 ? std::string_view("/") : path.substr(3);
            const size_t last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            const size_t next = path.find('/', 1);
            const size_t n = next == std::string_view::npos ? path.size() : next;
            out.append(path.substr(0, n));
            path.remove_prefix(n);
        }
    }
    return out;
}

// Path with its dot segments removed, then the query (from "?") as it is.
std::string normalisedPath(std::string_view pathAndQuery) {
    const size_t q = pathAndQuery.find('?');
    const std::string_view path = pathAndQuery.substr(0, q);
    std::string out = removeDotSegments(path);
    // A new string rather than a literal assigned in place: GCC 12 at -O3 reports a false
    // overlap (-Wrestrict) in the latter.
    if (out.empty()) out = std::string("/");
    if (q != std::string_view::npos) out.append(pathAndQuery.substr(q));
    return out;
}

// "user:pass@host:port" into host and port; the user part is not kept.
void splitAuthority(std::string_view authority, lumi::HttpAddress& into) {
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    const size_t colon = authority.rfind(':');
    const size_t bracket = authority.rfind(']');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        into.port = std::string(authority.substr(colon + 1));
        authority = authority.substr(0, colon);
    } else {
        into.port.clear();
    }
    into.host = std::string(authority);
}

} // namespace

namespace lumi {

std::string_view withoutFragment(std::string_view url) {
    return url.substr(0, url.find('#'));
}

void appendPercentEscape(std::string& out, unsigned char byte) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    out += '%';
    out += Hex[byte >> 4];
    out += Hex[byte & 15];
}

std::string escapeRequestTarget(std::string_view target) {
    target = withoutFragment(target);
    std::string out;
    out.reserve(target.size());
    for (size_t i = 0; i < target.size(); ++i) {
        const auto c = static_cast<unsigned char>(target[i]);
        const bool escape = c == '%' && i + 2 < target.size() && isHexDigit(target[i + 1]) &&
                            isHexDigit(target[i + 2]);
        if ((c != '%' && mayStandInTarget(c)) || escape) {
            out += static_cast<char>(c);
        } else {
            appendPercentEscape(out, c);
        }
    }
    return out;
}

const char* defaultPort(const HttpAddress& address) {
    return address.tls ? "443" : "80";
}

std::string portOrDefault(const HttpAddress& address) {
    return address.port.empty() ? std::string(defaultPort(address)) : address.port;
}

bool sameOrigin(const HttpAddress& a, const HttpAddress& b) {
    return a.tls == b.tls && textSameAnyCase(a.host, b.host) && portOrDefault(a) == portOrDefault(b);
}

bool isHttpsScheme(std::string_view scheme) {
    return textSameAnyCase(scheme, "https");
}

std::string hostWithPort(const HttpAddress& address) {
    if (address.port.empty() || address.port == defaultPort(address)) return address.host;
    return address.host + ":" + address.port;
}

ResolvedLocation resolveLocation(const HttpAddress& base, std::string_view location) {
    std::string_view ref = withoutFragment(location);

    ResolvedLocation r;
    r.address = base;
    const std::string scheme = schemeOf(ref);
    if (!scheme.empty()) {
        if (scheme != "http" && scheme != "https") {
            r.unsupportedScheme = scheme;
            return r;
        }
        // Another scheme speaks on another port: the base's port does not carry over.
        if (r.address.tls != (scheme == "https")) r.address.port.clear();
        r.address.tls = scheme == "https";
        // "http:" without "//" is read as a reference on the same host, as browsers do.
        ref.remove_prefix(scheme.size() + 1);
    }

    if (ref.substr(0, 2) == "//") {
        ref.remove_prefix(2);
        const size_t end = ref.find_first_of("/?");
        splitAuthority(ref.substr(0, end), r.address);
        r.address.path =
            normalisedPath(end == std::string_view::npos ? std::string_view() : ref.substr(end));
        return r;
    }
    const std::string_view basePath = std::string_view(base.path).substr(0, base.path.find('?'));
    if (ref.empty()) {
        if (r.address.path.empty()) r.address.path = std::string("/");
    } else if (ref[0] == '/') {
        r.address.path = normalisedPath(ref);
    } else if (ref[0] == '?') {
        r.address.path = std::string(basePath.empty() ? "/" : basePath) + std::string(ref);
    } else {
        const size_t slash = basePath.rfind('/');
        const std::string folder =
            slash == std::string_view::npos ? "/" : std::string(basePath.substr(0, slash + 1));
        r.address.path = normalisedPath(folder + std::string(ref));
    }
    return r;
}

} // namespace lumi
