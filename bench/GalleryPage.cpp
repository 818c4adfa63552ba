#include "GalleryPage.h"

#include <random>

namespace lumi::bench {

std::string generateGalleryPage(size_t bytes) {
    std::mt19937 random(42);
    std::string page =
        "<html><head><title>Gallery</title></head>\n<body background=\"img/bg.jpg\">\n";
    int n = 0;
    while (page.size() < bytes) {
        const std::string id = std::to_string(n++);
        switch (random() % 6) {
        case 0:
            page += "<a href=\"photos/big" + id + ".jpg\"><img src=\"thumbs/t" + id +
                    ".jpg\" width=100></a>\n";
            break;
        case 1:
            page += "<A HREF=\"../pages/p" + id + ".htm\">\n<IMG SRC=\"thumbs/p" + id +
                    ".jpg\" border=0></A>\n";
            break;
        case 2:
            page += "<p>Some words about picture " + id + " and where it was taken.</p>\n";
            break;
        case 3:
            page += "<a href=\"/about" + id +
                    ".html\">about</a> | <a href=\"mailto:x@y\">mail</a><br>\n";
            break;
        case 4:
            page += "<td><img src=\"/icons/i" + id + ".gif\" alt=\"icon\"></td><td>text " + id +
                    "</td>\n";
            break;
        default:
            page +=
                "<div style=\"x\" data-full=\"full/f" + id + ".jpg\">caption " + id + "</div>\n";
            break;
        }
    }
    page += "</body></html>\n";
    return page;
}

std::string generateArchiveAnswer(size_t results) {
    std::string json = "{\"result_count\":" + std::to_string(results) +
                       ",\"page_count\":20,\"page\":1,\"results\":[";
    for (size_t i = 0; i < results; ++i) {
        const std::string n = std::to_string(i);
        if (i > 0) json += ',';
        json += "{\"title\":\"Harbour at dusk " + n +
                "\",\"url\":\"https://live.example.org/65535/" + n +
                "_b.jpg\",\"foreign_landing_url\":\"https://www.example.org/photos/" + n +
                "\",\"creator\":\"Photographer " + n +
                "\",\"license\":\"by-sa\",\"license_version\":\"2.0\",\"license_url\":"
                "\"https://creativecommons.org/licenses/by-sa/2.0/\",\"filetype\":\"jpg\","
                "\"filesize\":" + (i % 10 == 9 ? std::string("null") : std::to_string(50000 + i)) +
                "}";
    }
    return json + "]}";
}

} // namespace lumi::bench
