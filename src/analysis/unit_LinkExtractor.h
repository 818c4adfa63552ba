#pragma once
// The link extractor: takes JPEG addresses (and, in a recursive search, the pages behind
// thumbnail links) out of a fetched page by plain substring markers, makes each absolute
// against the address the page finally came from, and hands it to the engine.
// Every routine runs under its own catch-all; a failing routine gives the empty text and
// its caller goes on. All working texts are local to one call.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/PageRouting.h"
#include "analysis/TextWalk.h"

namespace lumi {

// The anchor pass over one text, a bounded number of anchors at a time. The text must
// outlive the walk.
class AnchorWalk {
public:
    static constexpr int AnchorsPerStep = 256;
    explicit AnchorWalk(std::string_view text);
    // Judges up to `anchors` more anchors; false once the pass has ended (a failure ends it
    // too, reported as EvaluateLinesForATags').
    bool step(SearchHost& host, const std::string& pageUrl, int anchors);

private:
    std::string_view text_;
    ForwardFinder open_, slashA_, close_;
    size_t pos_ = 0; // start of the text not yet consumed
    std::string segmentLower_;
};

// StartExtractLoop in pieces: each step() does a bounded part of the work and says whether
// any is left, so a caller can spread a large page over several turns of its event loop.
// Stepping to the end hands on exactly what StartExtractLoop does, in the same order.
// lines and pageUrl must outlive the steps.
class ExtractLoopSteps {
public:
    static constexpr size_t LinesPerStep = 256;
    ExtractLoopSteps(SearchHost& host, const PageLines& lines, const std::string& pageUrl);
    bool step();

private:
    enum class Phase { Join, Anchors, Lines, Quoted, Done };
    void joinLines();
    void startLinePass();
    void linePassStep();
    void quotedPassStep();

    SearchHost& host_;
    const PageLines& lines_;
    const std::string& pageUrl_;
    Phase phase_ = Phase::Join;
    std::string joined_;
    std::optional<AnchorWalk> anchors_;
    std::vector<bool> quotedScan_;
    size_t line_ = 0;
    std::string lower_;
};

// CheckNewPageForSrc in pieces, as ExtractLoopSteps does for StartExtractLoop.
class ThumbnailPageSteps {
public:
    static constexpr size_t LinesPerStep = 256;
    ThumbnailPageSteps(SearchHost& host, const PageLines& lines, const std::string& pageUrl);
    bool step();

private:
    SearchHost& host_;
    const PageLines& lines_;
    const std::string& pageUrl_;
    size_t line_ = 0;
    std::string lower_;
};

} // namespace lumi

// Entry for an ordinary page (engine number 99): the anchor pass, the line pass and the
// quoted-value pass, in that order.
void StartExtractLoop(lumi::SearchHost& host, const lumi::PageLines& lines,
                      const std::string& pageUrl);
// Entry for a thumbnail page (engine number 0): the first image source of each line.
void CheckNewPageForSrc(lumi::SearchHost& host, const lumi::PageLines& lines,
                        const std::string& pageUrl);

// The anchor pass: joins the lines with nothing between them and evaluates each anchor.
void HtmlPageToOneLine(lumi::SearchHost& host, const lumi::PageLines& lines,
                       const std::string& pageUrl);
void EvaluateLinesForATags(lumi::SearchHost& host, std::string_view text,
                           const std::string& pageUrl);
void Check_IMG_and_SRC_and_HREF(lumi::SearchHost& host, std::string_view segment,
                                const std::string& pageUrl);
// The full-size picture behind a thumbnail, or its source; queues a thumbnail page.
std::string CheckHrefForThumbsAndNewPage(lumi::SearchHost& host, std::string_view segment,
                                         const std::string& pageUrl);
std::string Find_HREF_param(std::string_view segment, const std::string& pageUrl);
std::string Find_IMG_SRC_param(std::string_view segment, const std::string& pageUrl);
// Hands on an address that ends in its first ".jpg" and is not listed yet.
void AddFIleTolist(lumi::SearchHost& host, const std::string& address);
// The quoted-value pass over the lines without all of "src", "img" and "href".
void LoopForJPG(lumi::SearchHost& host, const lumi::PageLines& lines, const std::string& pageUrl);
void ScanLineForQuotedJPG(lumi::SearchHost& host, std::string_view line,
                          const std::string& pageUrl);
