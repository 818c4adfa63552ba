// The extractor and the parsers walk positions; the classic way copies and deletes from the
// front of the text. Both must hand on exactly the same calls. The references below follow
// the classic cuts literally (with the same choices for missing markers) and are compared
// with the real routines on many generated pages. The quoted-value pass takes values by
// their extent, which has no classic form; its own cases are in the extractor's tests.
#include <random>

#include <gtest/gtest.h>

#include "RecordingHost.h"
#include "analysis/PageAnalysis.h"
#include "analysis/ResultParsers.h"
#include "analysis/UrlUtils.h"
#include "analysis/unit_LinkExtractor.h"
#include "base/TextOps.h"

using namespace lumi;
using namespace lumi::test;

namespace {

const std::string kPage = "http://host/dir/page.htm";

void classicAnchors(SearchHost& host, std::string text) {
    while (textPosAnyCase("<a", text) > 0) {
        const int from = textPosAnyCase("<a", text);
        const int to = textPosAnyCase("/a", text);
        const std::string segment = textCopy(text, from, to - from + 3);
        const int close = textPosAnyCase("</a", text);
        textDelete(text, 1, close + 3);
        if (textPosAnyCase(".jpg", segment) > 0) Check_IMG_and_SRC_and_HREF(host, segment, kPage);
        if (close == 0) break; // the same choice: one evaluation, then the pass ends
    }
}

void classicHotBot(SearchHost& host, const std::string& line) {
    std::string text = line;
    while (textPos("target=", text) > 0) {
        textDelete(text, 1, textPos("target=", text) + 6);
        if (text.empty()) continue;
        const std::string address = textCopy(text, 1, textPos("&id=", text) - 1);
        if (!address.empty()) host.QueueForGetPage(FixHTMLCodes(address), 99);
    }
}

void classicScourNetPages(SearchHost& host, const std::string& line) {
    std::string text = line;
    if (textPosAnyCase("result page:", text) == 0) return;
    while (textPosAnyCase("href=", text) > 0) {
        textDelete(text, 1, textPosAnyCase("href=", text) + 5);
        const std::string value = textCopy(text, 1, textPos("\"", text) - 1);
        if (!value.empty()) host.QueueForGetPage(scourNetSiteBase() + value, 1);
    }
}

void classicStartExtractLoop(SearchHost& host, const PageLines& lines) {
    std::string joined;
    for (const std::string& line : lines)
        joined += line;
    classicAnchors(host, joined);
    for (const std::string& line : lines)
        if (textPosAnyCase(".jpg", line) > 0) Check_IMG_and_SRC_and_HREF(host, line, kPage);
    for (const std::string& line : lines) {
        const std::string lower = textLower(line);
        const bool allThree =
            textPos("src", lower) > 0 && textPos("img", lower) > 0 && textPos("href", lower) > 0;
        if (textPos(".jpg", lower) > 0 && !allThree) ScanLineForQuotedJPG(host, line, kPage);
    }
}

// Pages made of the markers the routines look for, in random order and case.
std::string randomPage(std::mt19937& random, size_t tokens) {
    static const std::vector<std::string> pieces = {
        "<a",
        "<A ",
        "</a>",
        "</A>",
        "/a",
        "/a/",
        " href=\"",
        " HREF=\"",
        "href=",
        " src=\"",
        "SRC=",
        "<img ",
        "\"",
        "\"",
        ".jpg",
        ".JPG",
        ".htm",
        ".html",
        "x",
        "pic",
        "../",
        "/",
        " ",
        ">",
        "<",
        "http:",
        "target=",
        "&id=",
        "%2F",
        "?q=1",
        "Result page:",
        "result page:",
        "'",
        "=",
        "img/",
        "ftp://f/",
        "http://h/",
    };
    std::string page;
    for (size_t i = 0; i < tokens; ++i)
        page += pieces[random() % pieces.size()];
    return page;
}

} // namespace

TEST(ClassicEquivalence, WalkingGivesTheSameHandOffsAsDeletingFromTheFront) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 3000; ++round) {
        const std::string page = randomPage(random, 1 + random() % 40);
        RecordingHost walked, classic;
        walked.recursive = classic.recursive = round % 2 == 0;
        walked.checkLinks = classic.checkLinks = round % 3 != 0;

        HtmlPageToOneLine(walked, {page}, kPage);
        classicAnchors(classic, page);
        ASSERT_EQ(walked.calls, classic.calls) << "anchor pass on: " << page;

        ExractDataFromHotBot(walked, {page});
        classicHotBot(classic, page);
        ASSERT_EQ(walked.calls, classic.calls) << "HotBot on: " << page;

        PageLines lines;
        for (size_t at = 0; at < page.size();) {
            const size_t length = 1 + random() % 30;
            lines.push_back(page.substr(at, length));
            at += length;
        }
        StartExtractLoop(walked, lines, kPage);
        classicStartExtractLoop(classic, lines);
        ASSERT_EQ(walked.calls, classic.calls) << "whole extractor on: " << page;

        if (textPosAnyCase("searchfieldlocationlink", page) == 0) {
            ExractDataFromScourNet(walked, {page});
            classicScourNetPages(classic, page);
            ASSERT_EQ(walked.calls, classic.calls) << "ScourNet on: " << page;
        }
    }
}

TEST(ClassicEquivalence, PagesAnalysedInSlicesHandOnWhatTheWholeAnalysisDoes) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 24; ++round) {
        const std::string page = randomPage(random, 3000 + random() % 3000);
        PageLines lines;
        for (size_t at = 0; at < page.size();) {
            const size_t length = 1 + random() % 30;
            lines.push_back(page.substr(at, length));
            at += length;
        }
        const int failAt = round % 3 == 0 ? static_cast<int>(random() % 200) : -1;
        for (int engine : {99, 0, 2}) {
            RecordingHost whole, sliced;
            whole.recursive = sliced.recursive = round % 2 == 0;
            whole.failAtCall = sliced.failAtCall = failAt;
            std::vector<std::string> wholeErrors, slicedErrors;
            {
                ErrorCapture errors;
                routePageByEngine(whole, engine, lines, kPage);
                wholeErrors = errors.texts;
            }
            int runs = 1;
            {
                ErrorCapture errors;
                PageAnalysis analysis(sliced, engine, lines, kPage);
                while (!analysis.run(std::chrono::nanoseconds(0)))
                    ++runs;
                slicedErrors = errors.texts;
            }
            ASSERT_EQ(sliced.calls, whole.calls) << "engine " << engine << " round " << round;
            ASSERT_EQ(slicedErrors, wholeErrors) << "engine " << engine << " round " << round;
            if (engine != 2) {
                EXPECT_GT(runs, 2) << "a page of " << lines.size() << " lines is sliced";
            }
        }
    }
}
