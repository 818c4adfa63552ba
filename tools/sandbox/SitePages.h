#pragma once
// Writing the pages of the stand-in web. A PageBuilder collects a page's lines together with
// what the link extractor takes from each form of link, so the page and its expected yield
// are written in one place.
#include <cstdint>
#include <string>
#include <vector>

#include "SiteModel.h"

namespace lumi::sandbox {

// Resolves a link the way a page of 1999 meant it: "http://" stays, "/" starts at the host,
// each leading "../" climbs one folder (never above the host), "./" is kept as written.
std::string resolveLink(const std::string& pageUrl, const std::string& link);
// The path of an absolute address ("/" when it has none) and its host.
std::string urlPath(const std::string& url);
std::string urlHost(const std::string& url);
// The phrase as page text: every byte that could form a marker is written as an entity.
std::string htmlText(const std::string& text);

class PageBuilder {
public:
    PageBuilder(Web& web, std::string url, std::string title);

    const std::string& url() const { return url_; }
    void line(const std::string& html) { lines_.push_back(html); }
    // Registers a picture at the address the link resolves to and returns that address.
    std::string picture(const std::string& link, SizeClass sizeClass,
                        Answer answer = Answer::Picture,
                        PictureFormat format = PictureFormat::Jpeg);
    void yieldPicture(const std::string& absoluteUrl) { yield_.pictures.push_back(absoluteUrl); }
    void yieldThumbnailPage(const std::string& absoluteUrl) {
        yield_.thumbnailPages.push_back(absoluteUrl);
    }
    // Stores the page under its path and its yield under its address.
    void finish(Answer answer = Answer::Page);

private:
    Web& web_;
    std::string url_;
    std::vector<std::string> lines_;
    PageYield yield_;
};

// The address of a file of the phrase's sites: "http://<sites>/w/<token>/<relative>".
std::string siteUrl(const Web& web, const std::string& relative);

// Writes every site of the web and fills the service result lists.
void buildSites(Web& web);

} // namespace lumi::sandbox
