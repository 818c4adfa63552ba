#include "FolderListing.h"

#include <map>
#include <set>
#include <string>

#include "SitePages.h"

namespace lumi::sandbox {

namespace {

bool isPicture(Answer answer) {
    return answer == Answer::Picture || answer == Answer::PictureNoLength ||
           answer == Answer::HtmlErrorPicture;
}

// A path as the phrase's site names it, without "/w/<token>" in front.
std::string sitePath(const Web& web, const std::string& path) {
    const std::string root = "/w/" + web.token;
    return path.starts_with(root) ? path.substr(root.size()) : path;
}

std::string listingPage(const Web& web, const std::string& folder,
                        const std::set<std::string>& names) {
    const std::string title = "Index of " + htmlText(sitePath(web, folder));
    std::string html = "<html>\r\n<head><title>" + title + "</title></head>\r\n<body>\r\n<h1>" +
                       title + "</h1>\r\n<ul>\r\n";
    for (const std::string& name : names) {
        html += "<li><a href=\"" + name + "\">" + htmlText(name) + "</a>";
        const auto pages = web.shownOn.find(folder + name);
        if (pages != web.shownOn.end())
            for (const std::string& page : pages->second)
                html += " - shown on <a href=\"" + page + "\">" +
                        htmlText(sitePath(web, urlPath(page))) + "</a>";
        html += "</li>\r\n";
    }
    return html + "</ul>\r\n</body>\r\n</html>\r\n";
}

} // namespace

void addFolderListings(Web& web) {
    std::map<std::string, std::set<std::string>> folders; // folder path -> picture file names
    for (const auto& [path, resource] : web.sites)
        if (isPicture(resource.answer)) {
            const auto slash = path.rfind('/');
            folders[path.substr(0, slash + 1)].insert(path.substr(slash + 1));
        }
    for (const auto& [folder, names] : folders) {
        if (web.sites.count(folder)) continue;
        // As a real server does, a folder with an index page answers with it (a static copy
        // writes both to the same file).
        const auto index = web.sites.find(folder + "index.html");
        if (index != web.sites.end() && index->second.answer == Answer::Page) {
            web.sites[folder] = index->second;
            continue;
        }
        Resource listing;
        listing.answer = Answer::Page;
        listing.html = listingPage(web, folder, names);
        web.sites[folder] = listing;
    }
}

} // namespace lumi::sandbox
