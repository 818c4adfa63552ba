#pragma once
// The answers of the four search services and of the maker's site. Result pages carry exactly
// the markers that Lumisift's parsers read, around the addresses of the web's sites, with some
// lines in the wrong case that must not be read.
#include <string>

#include "SiteModel.h"

namespace lumi::sandbox {

std::string hotBotResultPage(const Web& web);
std::string lycosResultPage(const Web& web);
// page counts from 0; past the last page the service answers an empty result page.
std::string lycosImagesPage(const Web& web, int page);
std::string scourNetResultPage(const Web& web, int page);

// "first=" value of a Lycos Images Direct page, and back: pages hold ten results each.
int lycosImagesFirst(int page);
int lycosImagesPageOf(int first);

struct MakerSite {
    std::string host;           // where the pages say the download is
    std::string productVersion; // newest version announced in /progver.txt
    std::string scheme = "http://";
};
std::string makerHomePage(const MakerSite& maker);
std::string makerDownloadPage(const MakerSite& maker);
std::string makerVersionFile(const MakerSite& maker);

} // namespace lumi::sandbox
