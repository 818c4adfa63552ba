#include "analysis/ResultParsers.h"

#include <algorithm>
#include <string_view>

#include "analysis/TextWalk.h"
#include "analysis/UrlUtils.h"
#include "base/ConfiguredHosts.h"
#include "base/ErrorReport.h"
#include "base/TextOps.h"

namespace {

constexpr size_t npos = std::string_view::npos;

constexpr std::string_view kLycosPagingMarker =
    "&nbsp;.&nbsp;<A HREF=\"/cgi-bin/pursuit?cat=graphics&first=";

// The Lycos cut shared by both Lycos readers: everything after the line's first ">" and the
// one character after it, up to the next "<", trimmed. Empty when nothing is left or no "<"
// closes the value.
std::string cutAfterFirstCloseBracket(std::string_view line) {
    const size_t close = line.find('>');
    if (close == npos) return {};
    const size_t start = close + 2;
    if (start >= line.size()) return {};
    const size_t end = line.find('<', start);
    if (end == npos) return {};
    return lumi::textTrim(line.substr(start, end - start));
}

} // namespace

namespace lumi {

std::string lycosBase() {
    return hostOrigin(lycosHost());
}

std::string scourNetSiteBase() {
    return hostOrigin(scourNetSite());
}

void handOffImage(SearchHost& host, const std::string& address) {
    if (host.checkLinksChecked())
        host.QueueForCheckLink(address);
    else
        host.AddToListView(address, 0);
}

} // namespace lumi

void ExractDataFromHotBot(lumi::SearchHost& host, const lumi::PageLines& lines) {
    lumi::catchAll("error code : #0040 (ExractDataFromHotBot)", [&] {
        for (const std::string& line : lines) {
            lumi::ForwardFinder target(line, "target=");
            lumi::ForwardFinder id(line, "&id=");
            // Each result is read from just after its "target="; the next "target=" is
            // searched from there too, so it may stand inside the previous address.
            for (size_t at = target.next(0); at != npos; at = target.next(at + 7)) {
                const size_t start = at + 7;
                if (start >= line.size()) break;
                const size_t end = id.next(start);
                // A result without "&id=" has no address; nothing is queued for it.
                if (end == npos || end == start) continue;
                host.QueueForGetPage(FixHTMLCodes(line.substr(start, end - start)), 99);
            }
        }
    });
}

void ExractDataFromLycos(lumi::SearchHost& host, const lumi::PageLines& lines) {
    lumi::catchAll("error code : #0041 (ExractDataFromLycos)", [&] {
        for (const std::string& line : lines) {
            if (!lumi::contains(line, "<em>")) continue;
            const std::string address = cutAfterFirstCloseBracket(line);
            if (address.empty()) continue;
            host.QueueForGetPage(FixHTMLCodes(address), 99);
        }
    });
}

void ExractDataFromLycosImagesDirect(lumi::SearchHost& host, const lumi::PageLines& lines) {
    lumi::catchAll("error code : #0042 (ExractDataFromLycosImagesDirect)", [&] {
        for (const std::string& line : lines) {
            std::string_view current = line;
            std::string image;
            if (lumi::contains(line, "<em>")) {
                image = cutAfterFirstCloseBracket(line);
                current = image; // the paging test sees only what the image cut left
                if (!image.empty()) lumi::handOffImage(host, FixHTMLCodes(image));
            }
            if (!lumi::contains(current, kLycosPagingMarker)) continue;
            const size_t open = current.find('"');
            const size_t close = current.find('"', open + 1);
            // Without a closing quote the value runs on past this line: not a usable address.
            if (close == npos || close == open + 1) continue;
            host.QueueForGetPage(
                lumi::lycosBase() + std::string(current.substr(open + 1, close - open - 1)), 4);
        }
    });
}

void ExractDataFromScourNet(lumi::SearchHost& host, const lumi::PageLines& lines) {
    lumi::catchAllWith(
        [&] { host.appendDiagnosticsLine("error code : #0043 (ExractDataFromScourNet)"); },
        [&] {
            std::string lower;
            for (const std::string& line : lines) {
                lumi::lowerInto(line, lower);
                std::string_view current = line;
                std::string_view currentLower = lower;
                // The address starts at the first "http:" or "https:"; only marked lines
                // are searched for it.
                const size_t from = lumi::contains(lower, "searchfieldlocationlink")
                                        ? std::min(lower.find("http:"), lower.find("https:"))
                                        : npos;
                if (from != npos) {
                    const size_t quote = lower.find('"', from);
                    const size_t length = quote == npos ? 0 : quote - from;
                    current = current.substr(from, length);
                    currentLower = currentLower.substr(from, length);
                    if (!current.empty() && !lumi::contains(currentLower, ".htm"))
                        lumi::handOffImage(host, FixHTMLCodes(std::string(current)));
                }
                if (!lumi::contains(currentLower, "result page:")) continue;
                lumi::ForwardFinder href(currentLower, "href=");
                lumi::ForwardFinder quote(currentLower, "\"");
                for (size_t at = href.next(0); at != npos; at = href.next(at + 6)) {
                    const size_t start = at + 6;
                    const size_t end = quote.next(start);
                    // No closing quote, or an empty value, names no result page.
                    if (end == npos || end == start) continue;
                    host.QueueForGetPage(lumi::scourNetSiteBase() +
                                             std::string(current.substr(start, end - start)),
                                         1);
                }
            }
        });
}
