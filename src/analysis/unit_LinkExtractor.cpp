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

std::string hrefParamBody(std::string_view segment, std::string_view lower,
                          const std::string& pageUrl) {
    // Only a double-quoted target counts; single quotes, no quotes or blanks around "="
    // give no target rather than a value cut from the wrong place.
    const size_t at = lower.find("href=\"");
    if (at == npos) return {};
    const size_t start = at + 6;
    const size_t end = segment.find('"', start);
    if (end == npos) return {};
    const std::string_view value = segment.substr(start, end - start);
    if (!lumi::contains(value, ".htm") && !lumi::contains(value, ".jpg")) return {};
    if (lumi::contains(value, "http")) return {};
    return AnalyzePath(value, pageUrl);
}

std::string imgSrcParamBody(std::string_view segment, std::string_view lower,
                            const std::string& pageUrl) {
    // Without "src=" there is no image source to take.
    const size_t at = lower.find("src=");
    if (at == npos) return {};
    const size_t start = at + 5; // "src=" and the opening quote
    if (start >= segment.size()) return {};
    const size_t jpg = lower.find(".jpg", start);
    // Without a ".jpg" the link would keep three characters and could never end in ".jpg";
    // no address is the same outcome.
    if (jpg == npos) return {};
    return AnalyzePath(segment.substr(start, jpg + 4 - start), pageUrl);
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
    if (ext == ".jpg")
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
            if (contains(segmentLower_, ".jpg")) checkSegment(host, segment, segmentLower_, pageUrl);
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

void scanQuotedBody(lumi::SearchHost& host, std::string_view line, std::string_view lower,
                    const std::string& pageUrl) {
    lumi::ForwardFinder exact(line, ".jpg");
    lumi::ForwardFinder anyCase(lower, ".jpg");
    size_t pos = 0;
    while (exact.next(pos) != npos) {
        const size_t p = anyCase.next(pos);
        // The nearest double quote before the ".jpg", never before the remaining text. An
        // unquoted value has no start that can be told apart from the markup around it, so
        // it is skipped.
        const size_t quote = line.substr(pos, p - pos).rfind('"');
        if (quote != npos) {
            const size_t start = pos + quote + 1;
            AddFIleTolist(host, AnalyzePath(line.substr(start, p + 4 - start), pageUrl));
        }
        pos = p + 5; // through ".jpg" and the closing quote
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
        if (!contains(lower_, ".jpg")) continue;
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
            if (contains(lower_, ".jpg")) AddFIleTolist(host_, imgSrcParam(lines_[line_], lower_, pageUrl_));
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
        if (address.size() < 4) return;
        // The first ".jpg" must be the end: no .jpeg, no query after it, no a.jpg.jpg.
        if (address.find(".jpg") != address.size() - 4) return;
        if (host.foundListContains(address)) return;
        lumi::handOffImage(host, address);
    });
}

void LoopForJPG(lumi::SearchHost& host, const lumi::PageLines& lines, const std::string& pageUrl) {
    lumi::catchAll(kLoopText, [&] {
        std::string lower;
        for (const std::string& line : lines) {
            lumi::lowerInto(line, lower);
            if (lumi::contains(lower, ".jpg") && !holdsSrcImgAndHref(lower))
                scanQuoted(host, line, lower, pageUrl);
        }
    });
}

void ScanLineForQuotedJPG(lumi::SearchHost& host, std::string_view line,
                          const std::string& pageUrl) {
    lumi::catchAllWith([] {}, [&] { scanQuotedBody(host, line, lumi::textLower(line), pageUrl); });
}
