#pragma once
// Writes the sites of a web as static files, so that a real web server serves the same pages
// and pictures. What only a live server can do is written the nearest static way: a relocated
// page is written at its first address too, and the page that never answers, the picture
// address that answers with an error page and the removed picture are left out (they answer
// 404 there).
#include <functional>
#include <string>

#include "SiteModel.h"
#include "ServicePages.h"

namespace lumi::sandbox {

// Writes under folder; false with a message in error when a file cannot be written.
bool exportWeb(const Web& web, const std::string& folder,
               const std::function<std::string(const PictureRecipe&)>& bytesOf, std::string& error);
// The maker's site: index.html, download.htm and progver.txt.
bool exportMakerSite(const MakerSite& maker, const std::string& folder, std::string& error);

} // namespace lumi::sandbox
