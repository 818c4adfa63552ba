// Feeds arbitrary pages to every entry of the page analysis: the routing by engine number
// (all four result parsers and both link-extractor entries), each extractor routine on its
// own, and the URL and text utilities. The first input byte picks the box states; the first
// line is the page address, the rest the page's lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "analysis/PageRouting.h"
#include "analysis/ResultParsers.h"
#include "analysis/UrlUtils.h"
#include "analysis/unit_LinkExtractor.h"
#include "base/TextOps.h"

namespace {

// Keeps what a real engine would keep, within a bound, and checks what it is handed.
class CheckingHost : public lumi::SearchHost {
public:
    bool checkLinks = true;
    bool recursive = true;

    void QueueForGetPage(const std::string& url, int engine) override {
        if (engine != 0 && engine != 1 && engine != 4 && engine != 99) __builtin_trap();
        if (url.empty()) __builtin_trap(); // no empty address is ever queued
    }
    void QueueForCheckLink(const std::string& url) override { expectImage(url); }
    void AddToListView(const std::string& url, int64_t size) override {
        if (size != 0) __builtin_trap();
        if (found_.size() < 4096) found_.insert(lumi::textLower(url));
    }
    bool foundListContains(const std::string& url) const override {
        return found_.count(lumi::textLower(url)) > 0;
    }
    bool checkLinksChecked() const override { return checkLinks; }
    bool searchRecursive() const override { return recursive; }
    void appendDiagnosticsLine(const std::string&) override {}

    // Images from the link extractor have a path ending in ".jpg" or ".jpeg" in any letter
    // case; parsers hand on others.
    bool fromExtractor = false;

private:
    void expectImage(const std::string& url) const {
        if (url.empty()) __builtin_trap();
        const std::string path = lumi::textLower(url.substr(0, url.find_first_of("?#")));
        if (fromExtractor && !path.ends_with(".jpg") && !path.ends_with(".jpeg"))
            __builtin_trap();
    }
    std::unordered_set<std::string> found_;
};

lumi::PageLines splitLines(std::string_view text) {
    lumi::PageLines lines;
    size_t start = 0;
    for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', start)) {
        lines.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
    lines.emplace_back(text.substr(start));
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t firstBreak = input.find('\n');
    const std::string pageUrl(input.substr(0, firstBreak));
    const std::string_view body =
        firstBreak == std::string_view::npos ? std::string_view() : input.substr(firstBreak + 1);
    const lumi::PageLines lines = splitLines(body);
    const std::string whole(body);

    CheckingHost host;
    host.checkLinks = flags & 1;
    host.recursive = flags & 2;
    for (int engine : {1, 2, 3, 4})
        lumi::routePageByEngine(host, engine, lines, pageUrl);
    host.fromExtractor = true;
    for (int engine : {99, 0})
        lumi::routePageByEngine(host, engine, lines, pageUrl);
    EvaluateLinesForATags(host, whole, pageUrl);
    Check_IMG_and_SRC_and_HREF(host, whole, pageUrl);
    CheckHrefForThumbsAndNewPage(host, whole, pageUrl);
    Find_HREF_param(whole, pageUrl);
    Find_IMG_SRC_param(whole, pageUrl);
    ScanLineForQuotedJPG(host, whole, pageUrl);
    AddFIleTolist(host, whole);

    const std::string resolved = AnalyzePath(whole, pageUrl);
    const std::string lowerWhole = lumi::textLower(whole);
    if (lowerWhole.rfind("http://", 0) != 0 && lowerWhole.rfind("https://", 0) != 0 &&
        lowerWhole.rfind("ftp://", 0) != 0 && resolved.rfind("http://", 0) != 0 &&
        resolved.rfind("https://", 0) != 0)
        __builtin_trap(); // a relative link always resolves to an http or https address
    std::string link = whole;
    int levels = 0;
    CountAndCutUpLevels(link, levels);
    std::string url, path;
    ExtractUrlAndPath(pageUrl, url, path);
    EditOriginURL(static_cast<int>(flags >> 2), (flags & 1) != 0, pageUrl);
    if (Mirror(Mirror(whole)) != whole) __builtin_trap();
    FixHTMLCodes(whole);
    ExtractFileNameFromURL(whole);
    ExtractPageLinkFromURL(whole);
    const std::string dir = MakeValidDir(whole);
    if (dir == "." || dir == ".." ||
        dir.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos)
        __builtin_trap(); // never a folder name that leaves the chosen folder
    return 0;
}
