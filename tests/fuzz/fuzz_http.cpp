// Fuzzes the HTTP client's response reading without socket or event loop: the input bytes go
// into the response parser in pieces (the first byte picks their size, as a network would cut
// them), and every complete line is read as a header line. With an odd first byte the first
// line also goes through the URL splitter, the request-target escaping and the relocation
// resolver.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/HttpAddress.h"
#include "net/HttpProt.h"
#include "net/HttpResponseParser.h"

namespace {

void checkSplit(std::string_view url) {
    const lumi::UrlParts p = lumi::splitUrl(url);
    // Every part is a piece of the input; the host never holds a path separator.
    if (p.host.find('/') != std::string::npos) __builtin_trap();
    if (p.path.size() > url.size() || p.host.size() > url.size()) __builtin_trap();
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// An escaped target holds printable ASCII without blanks or "#", each "%" starts an escape,
// and escaping it again changes nothing.
void checkEscaped(const std::string& target) {
    for (size_t i = 0; i < target.size(); ++i) {
        const auto c = static_cast<unsigned char>(target[i]);
        if (c <= ' ' || c >= 127 || c == '#' || c == '"' || c == '<' || c == '>') __builtin_trap();
        if (c == '%' && (i + 2 >= target.size() || !isHex(target[i + 1]) || !isHex(target[i + 2])))
            __builtin_trap();
    }
    if (lumi::escapeRequestTarget(target) != target) __builtin_trap();
}

// A resolved relocation has an absolute path without dot segments or fragment.
void checkResolved(std::string_view location) {
    const lumi::HttpAddress base{"h.example", "8080", "/a/b/page.html?q=1"};
    const lumi::ResolvedLocation r = lumi::resolveLocation(base, location);
    if (!r.unsupportedScheme.empty()) return;
    const std::string& path = r.address.path;
    const std::string_view pathOnly = std::string_view(path).substr(0, path.find('?'));
    if (path.empty() || path[0] != '/' || path.find('#') != std::string::npos) __builtin_trap();
    for (const char* dots : {"/./", "/../"})
        if (pathOnly.find(dots) != std::string_view::npos) __builtin_trap();
    if (pathOnly.size() >= 2 && pathOnly.substr(pathOnly.size() - 2) == "/.") __builtin_trap();
    if (pathOnly.size() >= 3 && pathOnly.substr(pathOnly.size() - 3) == "/..") __builtin_trap();
    checkEscaped(lumi::escapeRequestTarget(path));
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// What a header line is read into stays within what the line holds.
void checkHeaderLine(const std::string& line) {
    if (line.size() > size_t(lumi::httpLineBufferSize) || line.find('\n') != std::string::npos)
        __builtin_trap();
    const lumi::HttpHeaderLine h = lumi::HttpResponseParser::readHeaderLine(line);
    switch (h.kind) {
    case lumi::HttpHeaderLine::Kind::EndOfHeader:
        if (!line.empty()) __builtin_trap();
        break;
    case lumi::HttpHeaderLine::Kind::StatusLine:
        if (h.statusCode < 0 || h.statusCode > 999 || (!h.validStatus && h.statusCode != 0))
            __builtin_trap();
        if (h.reasonPhrase.size() >= line.size()) __builtin_trap();
        break;
    case lumi::HttpHeaderLine::Kind::Field:
        if (h.name.find(':') != std::string::npos || h.name.size() >= line.size()) __builtin_trap();
        for (char c : h.name)
            if (c >= 'A' && c <= 'Z') __builtin_trap();
        if (!h.value.empty() && (isBlank(h.value.front()) || isBlank(h.value.back())))
            __builtin_trap();
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    // An address is one line: with an odd first byte the URL helpers get the first line.
    if (data[0] & 1) {
        const std::string address = input.substr(1, input.find('\n') - 1);
        checkSplit(address);
        checkEscaped(lumi::escapeRequestTarget(address));
        checkResolved(address);
    }

    // 0 feeds everything at once; otherwise pieces of 1 to 15 bytes, or of 16 to 3840 in
    // steps of 16 (a network cuts answers anywhere; more pieces cost speed, not coverage).
    const size_t piece = data[0] == 0 ? size : data[0] < 16 ? data[0] : size_t(data[0]) * 16;
    std::string_view rest = std::string_view(input).substr(1);
    lumi::HttpResponseParser parser;
    std::string line;
    while (!rest.empty()) {
        const size_t taken = parser.feed(rest.substr(0, piece));
        rest.remove_prefix(taken);
        while (parser.nextLine(line))
            checkHeaderLine(line);
        // A full buffer without a complete line: the client gives up on the answer here.
        if (taken == 0) {
            if (parser.room() != 0) __builtin_trap();
            break;
        }
    }
    if (parser.pending().size() > size_t(lumi::httpLineBufferSize)) __builtin_trap();
    return 0;
}
