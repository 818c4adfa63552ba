#include "SiteModel.h"

#include <algorithm>
#include <set>

#include "ArchiveModel.h"
#include "PhraseToken.h"
#include "SitePages.h"

namespace lumi::sandbox {

namespace {

// Longer chains than the web holds are a fault of the model, never followed further.
constexpr int kMaxModelRelocations = 4;

std::string lowerAscii(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

bool refusedByResultsList(const std::string& url) {
    return url.find_first_of("&=?%") != std::string::npos;
}

// The page a result address finally answers with, following relocations; nullptr when it
// answers with nothing a page can be read from.
const Resource* finalPage(const Web& web, const std::string& url) {
    std::string at = url;
    for (int hop = 0; hop <= kMaxModelRelocations; ++hop) {
        const Resource* r = findResource(web, at);
        if (!r) return nullptr;
        if (r->answer == Answer::Relocation || r->answer == Answer::RelocationNoSpace) {
            at = r->target;
            continue;
        }
        return r->answer == Answer::Page || r->answer == Answer::SlowPage ? r : nullptr;
    }
    return nullptr;
}

} // namespace

std::string normalizePath(const std::string& path) {
    std::string out = path;
    for (auto at = out.find("/./"); at != std::string::npos; at = out.find("/./"))
        out.erase(at, 2);
    return out;
}

const Resource* findResource(const Web& web, const std::string& url) {
    const std::string host = urlHost(url);
    const std::string path = normalizePath(urlPath(url));
    const std::map<std::string, Resource>* table = nullptr;
    if (host == web.hosts.sites)
        table = &web.sites;
    else if (host == web.hosts.raw)
        table = &web.raw;
    if (!table) return nullptr;
    const auto it = table->find(path);
    return it == table->end() ? nullptr : &it->second;
}

Web buildWeb(uint64_t seed, const std::string& phrase, const SiteHosts& hosts) {
    Web web;
    web.seed = seed;
    web.phrase = phrase.substr(0, kMaxPhraseBytes);
    web.token = phraseToken(web.phrase);
    web.hosts = hosts;
    buildSites(web);
    buildArchives(web);
    return web;
}

std::vector<std::string> thumbnailPages(const Web& web) {
    std::set<std::string> pages;
    for (const auto& list : {web.hotBotResults, web.lycosResults})
        for (const auto& url : list)
            if (finalPage(web, url))
                if (const auto y = web.yields.find(url); y != web.yields.end())
                    pages.insert(y->second.thumbnailPages.begin(), y->second.thumbnailPages.end());
    return {pages.begin(), pages.end()};
}

std::vector<ExpectedRow>
expectedRows(const Web& web, const SearchOptions& options,
             const std::function<std::string(const PictureRecipe&)>& bytesOf) {
    std::vector<std::string> found;
    const auto take = [&](const std::vector<std::string>& list) {
        found.insert(found.end(), list.begin(), list.end());
    };
    for (const auto& list : {web.hotBotResults, web.lycosResults}) {
        for (const auto& url : list) {
            if (!finalPage(web, url)) continue;
            const auto y = web.yields.find(url);
            if (y == web.yields.end()) continue;
            take(y->second.pictures);
        }
    }
    if (options.recursive)
        for (const auto& page : thumbnailPages(web))
            if (finalPage(web, page))
                if (const auto y = web.yields.find(page); y != web.yields.end())
                    take(y->second.pictures);
    for (const auto& list : web.lycosImagePages)
        take(list);
    for (const auto& list : web.scourNetPages)
        take(list);

    std::vector<ExpectedRow> rows;
    std::set<std::string> listed; // letter case ignored, as the results list does
    for (const auto& url : found) {
        if (refusedByResultsList(url) || listed.count(lowerAscii(url))) continue;
        int64_t size = 0;
        if (options.checkLinks) {
            const Resource* r = findResource(web, url);
            if (!r) continue;
            if (r->answer == Answer::Picture) {
                size = int64_t(bytesOf(r->picture).size());
            } else if (r->answer == Answer::PictureNoLength) {
                size = options.staticCopy ? int64_t(bytesOf(r->picture).size()) : -1;
            } else {
                continue;
            }
            if (size > 0 && options.lowerBoundOn && options.lowerBoundKb * 1000 > size) continue;
            if (size > 0 && options.upperBoundOn && options.upperBoundKb * 1000 < size) continue;
        }
        listed.insert(lowerAscii(url));
        rows.push_back({size > 0 ? std::to_string(size) : "UNKNOWN", url});
    }
    if (options.archives)
        for (const ArchiveKind kind : {ArchiveKind::Openverse, ArchiveKind::Commons, ArchiveKind::SearXNG})
            for (const ArchiveItem& item : archiveItems(web, kind)) {
                if (!item.jpeg || item.movedToPng) continue;
                const int64_t bytes = int64_t(bytesOf(findResource(web, item.file)->picture).size());
                const int64_t announced = announcedSize(item, kind, bytes);
                const int64_t size = options.checkLinks ? bytes : announced;
                if (size > 0 && options.lowerBoundOn && options.lowerBoundKb * 1000 > size) continue;
                if (size > 0 && options.upperBoundOn && options.upperBoundKb * 1000 < size) continue;
                rows.push_back({size > 0 ? std::to_string(size) : "UNKNOWN", item.url});
            }
    std::sort(rows.begin(), rows.end(),
              [](const ExpectedRow& a, const ExpectedRow& b) { return a.url < b.url; });
    return rows;
}

} // namespace lumi::sandbox
