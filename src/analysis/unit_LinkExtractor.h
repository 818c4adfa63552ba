#pragma once
// The link extractor: takes JPEG addresses (and, in a recursive search, the pages behind
// thumbnail links) out of a fetched page by plain substring markers, makes each absolute
// against the address with which the page was requested, and hands it to the engine.
// Every routine runs under its own catch-all; a failing routine gives the empty text and
// its caller goes on. All working texts are local to one call.
#include <string>
#include <string_view>

#include "analysis/PageRouting.h"

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
