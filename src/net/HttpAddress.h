#pragma once
// Addresses as the HTTP client sends and follows them: the request target with its unsafe
// bytes escaped and its fragment dropped, and a Location value resolved against the address
// of the request it answers (relative references as web servers and browsers use them).
#include <string>
#include <string_view>

namespace lumi {

// An http address: host, port as written (empty means 80), and path with query.
struct HttpAddress {
    std::string host, port, path;
};

// The text before the first "#": a fragment is never sent to a server.
std::string_view withoutFragment(std::string_view url);

// Appends byte as "%XX" (capital hex digits).
void appendPercentEscape(std::string& out, unsigned char byte);

// Percent-encodes every byte that may not stand in a request target (controls, blanks,
// bytes from 127 on, and " < > \ ^ ` { | }); an existing "%XX" escape stays as it is, a "%"
// not followed by two hex digits becomes "%25". The fragment is dropped first.
std::string escapeRequestTarget(std::string_view target);

// "host", or "host:port" when the port is named and is not 80: the value of the Host line.
std::string hostWithPort(const HttpAddress& address);

// A Location value resolved against the address it answers.
struct ResolvedLocation {
    // Empty when the value is an http address or a reference; otherwise the lower-cased
    // scheme it names ("https", "ftp", ...), which this client cannot follow.
    std::string unsupportedScheme;
    HttpAddress address;
};

// Resolves `location` against `base`: "x" and "./x" in the folder of the base path, "../x"
// one folder up, "?q" on the base path, "/x" on the base host, "//h/x" and "http://h/x" on
// host h (port 80 unless named, path "/" when none). Dot segments are removed and the
// fragment is dropped. The value comes without the blanks around it.
ResolvedLocation resolveLocation(const HttpAddress& base, std::string_view location);

} // namespace lumi
