#pragma once
// The model of the stand-in web for one phrase: every address the sites answer and how, the
// results that the four services list, and what a search should find there. The model is
// built from the sandbox seed and the phrase alone, so it is the same in every run.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/SettingKeys.h"

#include "Pictures.h"

namespace lumi::sandbox {

// How one address answers. Addresses the model does not hold answer 404.
enum class Answer {
    Page,              // 200 text/html
    SlowPage,          // 200 text/html, the body trickled out over a few seconds
    HangingPage,       // accepts the request and never answers
    Picture,           // 200 image/..., with content-length
    PictureNoLength,   // 200 image/..., no content-length, the end marked by closing
    HtmlErrorPicture,  // a picture address that answers 200 with an HTML error page
    Relocation,        // 302 with "Location: " and an absolute address
    RelocationNoSpace, // 302 with "Location:" and no blank (served by the raw host only)
};

struct Resource {
    Answer answer = Answer::Page;
    std::string html;      // pages
    PictureRecipe picture; // pictures
    std::string target;    // relocations: an absolute address
};

// Hosts as "127.0.0.1:PORT". The sites may live on another server (a static copy served by
// nginx); the raw host answers the relocations that a library server cannot write. The
// services and sites speak `scheme` ("https://" when the sandbox serves TLS); the raw host
// always speaks http.
struct SiteHosts {
    std::string services;
    std::string sites;
    std::string raw;
    std::string scheme = "http://";
};

// What the link extractor takes from one page: pictures, and pages behind thumbnails that a
// recursive search reads for their image sources.
struct PageYield {
    std::vector<std::string> pictures;
    std::vector<std::string> thumbnailPages;
};

struct Web {
    uint64_t seed = 0;
    std::string phrase;
    std::string token;
    SiteHosts hosts;
    std::map<std::string, Resource> sites;  // by path on the sites host, without "./" steps
    std::map<std::string, Resource> raw;    // by path on the raw host
    std::vector<std::string> hotBotResults; // page addresses, in page order
    std::vector<std::string> lycosResults;
    std::vector<std::vector<std::string>> lycosImagePages; // picture addresses per result page
    std::vector<std::vector<std::string>> scourNetPages;
    std::map<std::string, PageYield> yields; // by the page's own absolute address
    // The pages (absolute addresses) whose text shows each picture, by the picture's path.
    std::map<std::string, std::set<std::string>> shownOn;
};

Web buildWeb(uint64_t seed, const std::string& phrase, const SiteHosts& hosts);

// The options that decide what a search lists.
struct SearchOptions {
    bool checkLinks = true;
    bool recursive = true;
    // By default the bounds of a fresh settings file, as the program reads them.
    bool lowerBoundOn = lumi::setting::LargerThanBool.fallback;
    int64_t lowerBoundKb = lumi::setting::LargerThan.fallback;
    bool upperBoundOn = lumi::setting::SmallerThanBool.fallback;
    int64_t upperBoundKb = lumi::setting::SmallerThan.fallback;
    // The sites come from a plain static copy: every exported file answers with its length.
    bool staticCopy = false;
    // The archives are asked too (their addresses point at the sandbox).
    bool archives = true;
};

struct ExpectedRow {
    std::string sizeText; // bytes in decimal, or "UNKNOWN"
    std::string url;
};

// The rows that a search for the web's phrase lists, sorted by address. bytesOf gives the
// encoded bytes of a picture (the server's cache, or a plain render in tests).
std::vector<ExpectedRow>
expectedRows(const Web& web, const SearchOptions& options,
             const std::function<std::string(const PictureRecipe&)>& bytesOf);

// The thumbnail pages that a recursive search reads.
std::vector<std::string> thumbnailPages(const Web& web);

// The resource an absolute address names, or nullptr (404). Resolves "./" steps and an
// absolute-form path ("http://host/x"). Used by the server, the expected set and the export.
const Resource* findResource(const Web& web, const std::string& url);

// Removes "/./" steps; the server and the model store paths without them.
std::string normalizePath(const std::string& path);

} // namespace lumi::sandbox
