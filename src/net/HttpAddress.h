#pragma once
// Addresses as the HTTP client sends and follows them: the request target with its unsafe
// bytes escaped and its fragment dropped, and a Location value resolved against the address
// of the request it answers (relative references as web servers and browsers use them).
#include <string>
#include <string_view>

namespace lumi {

// An http or https address: host, port as written (empty means the scheme's: 80, or 443
// with tls), path with query, and whether the address is https.
struct HttpAddress {
    std::string host, port, path;
    bool tls = false;
};

// "443" for https, "80" for http.
const char* defaultPort(const HttpAddress& address);
// The port the address is reached on: its own, or the scheme's default.
std::string portOrDefault(const HttpAddress& address);
// Same scheme, host (any case) and port: where a login taken from one address may go.
bool sameOrigin(const HttpAddress& a, const HttpAddress& b);
// The scheme names https (any case).
bool isHttpsScheme(std::string_view scheme);

// The text before the first "#": a fragment is never sent to a server.
std::string_view withoutFragment(std::string_view url);

// Appends byte as "%XX" (capital hex digits).
void appendPercentEscape(std::string& out, unsigned char byte);

// Percent-encodes every byte that may not stand in a request target (controls, blanks,
// bytes from 127 on, and " < > \ ^ ` { | }); an existing "%XX" escape stays as it is, a "%"
// not followed by two hex digits becomes "%25". The fragment is dropped first.
std::string escapeRequestTarget(std::string_view target);

// "host", or "host:port" when the port is named and is not the scheme's: the Host line.
std::string hostWithPort(const HttpAddress& address);

// A Location value resolved against the address it answers.
struct ResolvedLocation {
    // Empty when the value is an http or https address or a reference; otherwise the
    // lower-cased scheme it names ("ftp", ...), which this client cannot follow.
    std::string unsupportedScheme;
    HttpAddress address;
};

// Resolves `location` against `base`: "x" and "./x" in the folder of the base path, "../x"
// one folder up, "?q" on the base path, "/x" on the base host, "//h/x" and "http://h/x" on
// host h (the scheme's port unless named, path "/" when none); "https://h/x" switches to
// https and "http://h/x" back, "//h/x" keeps the base's scheme. Dot segments are removed and the
// fragment is dropped. The value comes without the blanks around it.
ResolvedLocation resolveLocation(const HttpAddress& base, std::string_view location);

} // namespace lumi
