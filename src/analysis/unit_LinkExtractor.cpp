#include "analysis/unit_LinkExtractor.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "analysis/ResultParsers.h"
#include "analysis/TextWalk.h"
#include "analysis/UrlUtils.h"
#include "base/ErrorReport.h"
#include "base/TextOps.h"

// The routines below keep the classic cuts exactly, but walk positions in the page instead
// of deleting from its front, so a page costs time in proportion to its size. Markers are
// searched in a lower-cased copy of each line or segment, made once and shared by the
// routines that examine it (the joined page is searched without one). The bodies take the
// text with its lower-cased copy; the named routines wrap them in their catch-alls, so a
// failure is reported with the routine's own text wherever it is called.

namespace {

constexpr size_t npos = std::string_view::npos;

const char* const kFindHrefText = "error code : #0018 (Find_HREF_param)";
const char* const kFindImgSrcText = "error code : #0019 (Find_IMG_SRC_param)";
const char* const kCheckSegmentText = "error code : #0015 (Check_IMG_and_SRC_and_HREF)";
const char* const kEvaluateText = "error code : #0014 (EvaluateLinesForATags)";
const char* const kLoopText = "error code : #0012 (LoopForJPG)";
const char* const kCheckThumbsText = "error code : #0017 (CheckHrefForThumbsAndNewPage)";

// Whether a lower-cased text names a JPEG anywhere: ".jpg" or ".jpeg".
bool mentionsJpeg(std::string_view lower) {
    return lumi::contains(lower, ".jpg") || lumi::contains(lower, ".jpeg");
}

// The path of an address: the text before its query or fragment.
std::string_view pathOf(std::string_view address) {
    return address.substr(0, address.find_first_of("?#"));
}

// A JPEG address: its path ends in ".jpg" or ".jpeg" in any letter case; a query or
// fragment after it goes with it.
bool isJpegAddress(std::string_view address) {
    const std::string ext = lumi::textFileExt(pathOf(address));
    return lumi::textSameAnyCase(ext, ".jpg") || lumi::textSameAnyCase(ext, ".jpeg");
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// The value of an attribute whose "name=" ends just before `at`: up to the matching quote
// when it is quoted (nothing when that quote never comes), else up to a blank or the end of
// the tag.
std::string_view attributeValue(std::string_view text, size_t at) {
    if (at >= text.size()) return {};
    const char quote = text[at];
    if (quote == '"' || quote == '\'') {
        const size_t end = text.find(quote, at + 1);
        return end == npos ? std::string_view() : text.substr(at + 1, end - at - 1);
    }
    size_t end = at;
    while (end < text.size() && !isBlank(text[end]) && text[end] != '>')
        ++end;
    return text.substr(at, end - at);
}

// A link as it stands in the page made an address: "&amp;" is the page's way of writing "&".
std::string linkAddress(std::string_view value, const std::string& pageUrl) {
    if (value.find("&amp;") == npos) return AnalyzePath(value, pageUrl);
    return AnalyzePath(lumi::textReplaceAll(value, "&amp;", "&"), pageUrl);
}

std::string hrefParamBody(std::string_view segment, std::string_view lower,
                          const std::string& pageUrl) {
    // Blanks around "=" give no target rather than a value cut from the wrong place.
    const size_t at = lower.find("href=");
    if (at == npos) return {};
    const std::string_view value = attributeValue(segment, at + 5);
    if (!lumi::contains(value, ".htm") && !mentionsJpeg(lumi::textLower(value))) return {};
    if (lumi::contains(value, "http")) return {};
    return linkAddress(value, pageUrl);
}

std::string imgSrcParamBody(std::string_view segment, std::string_view lower,
                            const std::string& pageUrl) {
    // Without "src=" there is no image source to take.
    const size_t at = lower.find("src=");
    if (at == npos) return {};
    const std::string_view value = attributeValue(segment, at + 4);
    if (value.empty()) return {};
    return linkAddress(value, pageUrl);
}

std::string hrefParam(std::string_view segment, std::string_view lower,
                      const std::string& pageUrl) {
    std::string result;
    lumi::catchAll(kFindHrefText, [&] { result = hrefParamBody(segment, lower, pageUrl); });
    return result;
}

std::string imgSrcParam(std::string_view segment, std::string_view lower,
                        const std::string& pageUrl) {
    std::string result;
    lumi::catchAll(kFindImgSrcText, [&] { result = imgSrcParamBody(segment, lower, pageUrl); });
    return result;
}

std::string thumbsBody(lumi::SearchHost& host, std::string_view segment, std::string_view lower,
                       const std::string& pageUrl) {
    // The image source matters only when the target has no extension; it has no effect of
    // its own, so it is cut only then.
    const std::string target = hrefParam(segment, lower, pageUrl);
    const size_t slash = target.rfind('/');
    const std::string name = slash == npos ? std::string() : target.substr(slash + 1);
    const std::string ext = lumi::textFileExt(name);
    std::string result;
    if (isJpegAddress(target))
        result = target;
    else if (ext.empty())
        result = imgSrcParam(segment, lower, pageUrl);
    if (host.searchRecursive() && (ext == ".html" || ext == ".htm"))
        host.QueueForGetPage(target, 0);
    return result;
}

std::string thumbs(lumi::SearchHost& host, std::string_view segment, std::string_view lower,
                   const std::string& pageUrl) {
    std::string result;
    lumi::catchAll(kCheckThumbsText, [&] { result = thumbsBody(host, segment, lower, pageUrl); });
    return result;
}

void checkSegmentBody(lumi::SearchHost& host, std::string_view segment, std::string_view lower,
                      const std::string& pageUrl) {
    const bool href = lumi::contains(lower, "href");
    const bool image = lumi::contains(lower, "src") && lumi::contains(lower, "img");
    if (href)
        AddFIleTolist(host, image ? thumbs(host, segment, lower, pageUrl)
                                  : hrefParam(segment, lower, pageUrl));
    if (image && !href) AddFIleTolist(host, imgSrcParam(segment, lower, pageUrl));
}

void checkSegment(lumi::SearchHost& host, std::string_view segment, std::string_view lower,
                  const std::string& pageUrl) {
    lumi::catchAll(kCheckSegmentText, [&] { checkSegmentBody(host, segment, lower, pageUrl); });
}

} // namespace

namespace lumi {

AnchorWalk::AnchorWalk(std::string_view text)
    : text_(text), open_(text, "<a", ForwardFinder::Case::Any),
      slashA_(text, "/a", ForwardFinder::Case::Any), close_(text, "</a", ForwardFinder::Case::Any) {}

bool AnchorWalk::step(SearchHost& host, const std::string& pageUrl, int anchors) {
    bool more = false;
    catchAll(kEvaluateText, [&] {
        for (int n = 0; n < anchors; ++n) {
            const size_t from = open_.next(pos_);
            if (from == npos) return;
            // The segment runs from "<a" through the first "/a" of the remaining text and
            // one character more; a "/a" before the "<a" leaves it empty (the anchor is
            // missed).
            const size_t to = slashA_.next(pos_);
            std::string_view segment;
            if (to != npos && to > from) segment = text_.substr(from, to - from + 3);
            lowerInto(segment, segmentLower_);
            const size_t end = close_.next(pos_);
            if (mentionsJpeg(segmentLower_)) checkSegment(host, segment, segmentLower_, pageUrl);
            // With no "</a" left, the anchor has been judged once and the pass ends.
            if (end == npos) return;
            pos_ = end + 3;
        }
        more = true;
    });
    return more;
}

} // namespace lumi

namespace {

void evaluateAnchors(lumi::SearchHost& host, std::string_view text, const std::string& pageUrl) {
    lumi::AnchorWalk walk(text);
    while (walk.step(host, pageUrl, lumi::AnchorWalk::AnchorsPerStep)) {
    }
}

// Where a value that ends at `end` begins, looking back from `ext` no further than `from`.
// A value closed by a quote begins after the same quote, unless a tag boundary lies between
// them. An unquoted value is an attribute's (after "=") or a CSS url(...)'s (after "("); a
// word in the text is no value. npos when it is none of these.
size_t valueStart(std::string_view line, size_t from, size_t ext, size_t end) {
    const std::string_view before = line.substr(from, ext - from);
    if (end < line.size() && (line[end] == '"' || line[end] == '\'')) {
        const size_t quote = before.rfind(line[end]);
        if (quote != npos && before.find_first_of("<>", quote) == npos) return from + quote + 1;
    }
    const size_t delimiter = before.find_last_of(" \t\r\n\f=(\"'<>");
    if (delimiter == npos || (before[delimiter] != '=' && before[delimiter] != '(')) return npos;
    return from + delimiter + 1;
}

// What may follow the last character of a value, and what ends a query ("&amp;" holds ";").
constexpr std::string_view kValueEnd(" \t\r\n\f\"'<>),;");
constexpr std::string_view kQueryEnd(" \t\r\n\f\"'<>)");

// Every value in the line that names a JPEG is taken by its real extent: quoted, unquoted
// or inside a CSS url(...), with its query.
void scanQuotedBody(lumi::SearchHost& host, std::string_view line, std::string_view lower,
                    const std::string& pageUrl) {
    size_t pos = 0;
    for (size_t p = lower.find(".jp"); p != npos; p = lower.find(".jp", pos)) {
        const size_t extLength = lower.compare(p, 4, ".jpg") == 0    ? 4
                                 : lower.compare(p, 5, ".jpeg") == 0 ? 5
                                                                     : 0;
        size_t end = p + (extLength == 0 ? 3 : extLength);
        if (end < line.size() && (line[end] == '?' || line[end] == '#'))
            end = std::min(line.size(), line.find_first_of(kQueryEnd, end));
        const bool valueEnds = end == line.size() || kValueEnd.find(line[end]) != npos;
        const size_t start = extLength && valueEnds ? valueStart(line, pos, p, end) : npos;
        if (start != npos)
            AddFIleTolist(host, linkAddress(line.substr(start, end - start), pageUrl));
        pos = end + 1; // through the value and the character that closes it
        if (pos >= line.size()) break;
    }
}

void scanQuoted(lumi::SearchHost& host, std::string_view line, std::string_view lower,
                const std::string& pageUrl) {
    // A failure ends the scan of this line only, and is not reported.
    lumi::catchAllWith([] {}, [&] { scanQuotedBody(host, line, lower, pageUrl); });
}

std::string joinedPage(const lumi::PageLines& lines) {
    size_t total = 0;
    for (const std::string& line : lines)
        total += line.size();
    std::string text;
    text.reserve(total);
    for (const std::string& line : lines)
        text += line;
    return text;
}

bool holdsSrcImgAndHref(std::string_view lower) {
    return lumi::contains(lower, "src") && lumi::contains(lower, "img") &&
           lumi::contains(lower, "href");
}

} // namespace

namespace lumi {

ExtractLoopSteps::ExtractLoopSteps(SearchHost& host, const PageLines& lines, const std::string& pageUrl)
    : host_(host), lines_(lines), pageUrl_(pageUrl) {}

bool ExtractLoopSteps::step() {
    const bool ok = catchAll("error code : #0010 (StartExtractLoop)", [&] {
        switch (phase_) {
        case Phase::Join:
            joinLines();
            break;
        case Phase::Anchors:
            if (!anchors_->step(host_, pageUrl_, AnchorWalk::AnchorsPerStep)) startLinePass();
            break;
        case Phase::Lines:
            linePassStep();
            break;
        case Phase::Quoted:
            quotedPassStep();
            break;
        case Phase::Done:
            break;
        }
    });
    if (!ok) phase_ = Phase::Done;
    return phase_ != Phase::Done;
}

void ExtractLoopSteps::joinLines() {
    phase_ = Phase::Lines;
    catchAll("error code : #0011 (HtmlPageToOneLine)", [&] {
        joined_ = joinedPage(lines_);
        anchors_.emplace(joined_);
        phase_ = Phase::Anchors;
    });
    if (phase_ == Phase::Lines) startLinePass();
}

// The line pass notes which lines the quoted-value pass will scan, so each line is
// lower-cased and searched for its markers once for both.
void ExtractLoopSteps::startLinePass() {
    phase_ = Phase::Lines;
    quotedScan_.assign(lines_.size(), false);
    line_ = 0;
}

void ExtractLoopSteps::linePassStep() {
    for (const size_t last = std::min(lines_.size(), line_ + LinesPerStep); line_ < last; ++line_) {
        lowerInto(lines_[line_], lower_);
        if (!mentionsJpeg(lower_)) continue;
        quotedScan_[line_] = !holdsSrcImgAndHref(lower_);
        checkSegment(host_, lines_[line_], lower_, pageUrl_);
    }
    if (line_ < lines_.size()) return;
    phase_ = Phase::Quoted;
    line_ = 0;
}

void ExtractLoopSteps::quotedPassStep() {
    phase_ = Phase::Done;
    catchAll(kLoopText, [&] {
        for (const size_t last = std::min(lines_.size(), line_ + LinesPerStep); line_ < last; ++line_) {
            if (!quotedScan_[line_]) continue;
            lowerInto(lines_[line_], lower_);
            scanQuoted(host_, lines_[line_], lower_, pageUrl_);
        }
        if (line_ < lines_.size()) phase_ = Phase::Quoted;
    });
}

ThumbnailPageSteps::ThumbnailPageSteps(SearchHost& host, const PageLines& lines, const std::string& pageUrl)
    : host_(host), lines_(lines), pageUrl_(pageUrl) {}

bool ThumbnailPageSteps::step() {
    bool more = false;
    catchAll("error code : #0020 (CheckNewPageForSrc)", [&] {
        for (const size_t last = std::min(lines_.size(), line_ + LinesPerStep); line_ < last; ++line_) {
            lowerInto(lines_[line_], lower_);
            if (mentionsJpeg(lower_))
                AddFIleTolist(host_, imgSrcParam(lines_[line_], lower_, pageUrl_));
        }
        more = line_ < lines_.size();
    });
    return more;
}

} // namespace lumi

void StartExtractLoop(lumi::SearchHost& host, const lumi::PageLines& lines,
                      const std::string& pageUrl) {
    lumi::ExtractLoopSteps steps(host, lines, pageUrl);
    while (steps.step()) {
    }
}

void CheckNewPageForSrc(lumi::SearchHost& host, const lumi::PageLines& lines,
                        const std::string& pageUrl) {
    lumi::ThumbnailPageSteps steps(host, lines, pageUrl);
    while (steps.step()) {
    }
}

void HtmlPageToOneLine(lumi::SearchHost& host, const lumi::PageLines& lines,
                       const std::string& pageUrl) {
    lumi::catchAll("error code : #0011 (HtmlPageToOneLine)",
                   [&] { evaluateAnchors(host, joinedPage(lines), pageUrl); });
}

void EvaluateLinesForATags(lumi::SearchHost& host, std::string_view text,
                           const std::string& pageUrl) {
    evaluateAnchors(host, text, pageUrl);
}

void Check_IMG_and_SRC_and_HREF(lumi::SearchHost& host, std::string_view segment,
                                const std::string& pageUrl) {
    lumi::catchAll(kCheckSegmentText,
                   [&] { checkSegmentBody(host, segment, lumi::textLower(segment), pageUrl); });
}

std::string CheckHrefForThumbsAndNewPage(lumi::SearchHost& host, std::string_view segment,
                                         const std::string& pageUrl) {
    std::string result;
    lumi::catchAll(kCheckThumbsText,
                   [&] { result = thumbsBody(host, segment, lumi::textLower(segment), pageUrl); });
    return result;
}

std::string Find_HREF_param(std::string_view segment, const std::string& pageUrl) {
    std::string result;
    lumi::catchAll(kFindHrefText,
                   [&] { result = hrefParamBody(segment, lumi::textLower(segment), pageUrl); });
    return result;
}

std::string Find_IMG_SRC_param(std::string_view segment, const std::string& pageUrl) {
    std::string result;
    lumi::catchAll(kFindImgSrcText,
                   [&] { result = imgSrcParamBody(segment, lumi::textLower(segment), pageUrl); });
    return result;
}

void AddFIleTolist(lumi::SearchHost& host, const std::string& address) {
    lumi::catchAll("error code : #0016 (AddFIleTolist)", [&] {
        if (!isJpegAddress(address)) return;
        if (host.foundListContains(address)) return;
        lumi::handOffImage(host, address);
    });
}

void LoopForJPG(lumi::SearchHost& host, const lumi::PageLines& lines, const std::string& pageUrl) {
    lumi::catchAll(kLoopText, [&] {
        std::string lower;
        for (const std::string& line : lines) {
            lumi::lowerInto(line, lower);
            if (mentionsJpeg(lower) && !holdsSrcImgAndHref(lower))
                scanQuoted(host, line, lower, pageUrl);
        }
    });
}

void ScanLineForQuotedJPG(lumi::SearchHost& host, std::string_view line,
                          const std::string& pageUrl) {
    lumi::catchAllWith([] {}, [&] { scanQuotedBody(host, line, lumi::textLower(line), pageUrl); });
}
