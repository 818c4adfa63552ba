#include "ServicePages.h"

#include "SitePages.h"

namespace lumi::sandbox {

namespace {

// Percent codes as HotBot wrote its redirect targets; the parser decodes them.
std::string hotBotEncode(const std::string& url) {
    std::string out;
    for (const char c : url) {
        switch (c) {
        case ':':
            out += "%3A";
            break;
        case '/':
            out += "%2F";
            break;
        case '~':
            out += "%7E";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string pageHead(const std::string& title) {
    return "<html>\r\n<head><title>" + htmlText(title) + "</title></head>\r\n<body>\r\n";
}

const char* kPageTail = "</body>\r\n</html>\r\n";

} // namespace

std::string hotBotResultPage(const Web& web) {
    std::string html = pageHead("HotBot results: " + web.phrase);
    html += "<p>HotBot found " + std::to_string(web.hotBotResults.size()) + " matches for <b>" +
            htmlText(web.phrase) + "</b></p>\r\n";
    // Several results on one line, as HotBot wrote them.
    std::string line;
    int id = 0;
    for (const auto& url : web.hotBotResults) {
        ++id;
        line += "<b>" + std::to_string(id) +
                ".</b> <a href=\"/director.asp?target=" + hotBotEncode(url) +
                "&id=" + std::to_string(1000 + id) + "&userid=3ld&query=MT\">" + "Result " +
                std::to_string(id) + "</a> ";
        if (id % 3 == 0) {
            html += line + "\r\n";
            line.clear();
        }
    }
    if (!line.empty()) html += line + "\r\n";
    // Markers in capitals are not HotBot's: this page is never fetched.
    html += "<a href=\"/director.asp?TARGET=" + hotBotEncode(siteUrl(web, "decoy/index.htm")) +
            "&ID=1\">Sponsored</a>\r\n";
    return html + kPageTail;
}

std::string lycosResultPage(const Web& web) {
    std::string html = pageHead("Lycos search: " + web.phrase);
    html += "<p>Web sites for <b>" + htmlText(web.phrase) + "</b></p>\r\n";
    for (const auto& url : web.lycosResults) {
        html += "<em> " + url + "</em> <b>" + htmlText(web.phrase) + "</b><br>\r\n";
        html += "<font size=-1>A page about the subject.</font><br>\r\n";
    }
    html += "<EM> " + siteUrl(web, "decoy/index.htm") + "</EM> <b>Sponsored</b><br>\r\n";
    return html + kPageTail;
}

int lycosImagesFirst(int page) {
    return page * 10 + 1;
}
int lycosImagesPageOf(int first) {
    return first < 1 ? 0 : (first - 1) / 10;
}

std::string lycosImagesPage(const Web& web, int page) {
    std::string html = pageHead("Lycos Pictures: " + web.phrase);
    const int count = int(web.lycosImagePages.size());
    if (page < 0 || page >= count) return html + "<p>No more pictures.</p>\r\n" + kPageTail;
    const std::string paging = "&nbsp;.&nbsp;<A HREF=\"/cgi-bin/pursuit?cat=graphics&first=";
    const auto& list = web.lycosImagePages[std::size_t(page)];
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (page == 1 && i == 0) {
            // A picture and a paging link on one line: only the picture is read.
            html += "<em> " + list[i] + "</em>" + paging + "999&w=" + web.token + "\">More</A>\r\n";
        } else {
            html += "<em> " + list[i] + "</em><br>\r\n";
        }
    }
    html += "<EM> " + siteUrl(web, "decoy/pics/x1.jpg") + "</EM><br>\r\n";
    if (page > 0)
        html += paging + std::to_string(lycosImagesFirst(page - 1)) + "&w=" + web.token +
                "\">Previous</A>\r\n";
    if (page + 1 < count)
        html += paging + std::to_string(lycosImagesFirst(page + 1)) + "&w=" + web.token +
                "\">Next</A>\r\n";
    return html + kPageTail;
}

std::string scourNetResultPage(const Web& web, int page) {
    std::string html = pageHead("ScourNet image search: " + web.phrase);
    const int count = int(web.scourNetPages.size());
    if (page < 0 || page >= count) return html + "<p>No results.</p>\r\n" + kPageTail;
    for (const auto& url : web.scourNetPages[std::size_t(page)])
        html += "<td><a class=\"SearchFieldLocationLink\" href=\"" + url + "\">" + url +
                "</a></td>\r\n";
    // Pages are not pictures, and neither is anything whose address mentions one.
    html += "<td><a class=\"searchfieldlocationlink\" href=\"" +
            siteUrl(web, "library/index.html") + "\">the library</a></td>\r\n";
    html += "<td><a class=\"searchfieldlocationlink\" href=\"" + siteUrl(web, "decoy/pics/x1.jpg") +
            "?from=index.htm\">x1</a></td>\r\n";
    std::string paging = "<p>Result page: ";
    for (int p = 0; p < count; ++p) {
        if (p == page) {
            paging += "<b>" + std::to_string(p + 1) + "</b> ";
        } else {
            paging += "<a href=\"/cgi-bin/search.cgi?index=image&preview_size=small&page=" +
                      std::to_string(p + 1) + "&w=" + web.token + "\">" + std::to_string(p + 1) +
                      "</a> ";
        }
    }
    return html + paging + "</p>\r\n" + kPageTail;
}

std::string makerHomePage(const MakerSite& maker) {
    return "<html>\r\n<head><title>Orbelle Software</title></head>\r\n<body>\r\n"
           "<h1>Orbelle Software</h1>\r\n<p>Lumisift finds pictures on the web.</p>\r\n"
           "<p><a href=\"/download.htm\">Download Lumisift " +
           maker.productVersion + "</a></p>\r\n</body>\r\n</html>\r\n";
}

std::string makerDownloadPage(const MakerSite& maker) {
    return "<html>\r\n<head><title>Download Lumisift</title></head>\r\n<body>\r\n"
           "<h1>Lumisift " +
           maker.productVersion +
           "</h1>\r\n"
           "<p>This stand-in site has no files to download; the newest version is built from "
           "the source tree.</p>\r\n</body>\r\n</html>\r\n";
}

std::string makerVersionFile(const MakerSite& maker) {
    return "Lumisift\t" + maker.productVersion + "\tSearches the stand-in web.\t" + maker.scheme +
           maker.host + "/download.htm\r\n";
}

} // namespace lumi::sandbox
