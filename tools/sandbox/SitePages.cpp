#include "SitePages.h"

#include <random>

#include "FolderListing.h"
#include "PhraseToken.h"

namespace lumi::sandbox {

namespace {

// "http://" or "https://" at the start of url, or empty.
std::string schemeOf(const std::string& url) {
    for (const char* scheme : {"http://", "https://"})
        if (url.rfind(scheme, 0) == 0) return scheme;
    return {};
}

} // namespace

std::string urlHost(const std::string& url) {
    const size_t from = schemeOf(url).size();
    if (from == 0) return {};
    const auto slash = url.find('/', from);
    return url.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
}

std::string urlPath(const std::string& url) {
    const size_t from = schemeOf(url).size();
    if (from == 0) return url;
    const auto slash = url.find('/', from);
    return slash == std::string::npos ? "/" : url.substr(slash);
}

std::string resolveLink(const std::string& pageUrl, const std::string& link) {
    if (!schemeOf(link).empty()) return link;
    const std::string origin = schemeOf(pageUrl) + urlHost(pageUrl);
    if (!link.empty() && link[0] == '/') return origin + link;
    std::string folder = urlPath(pageUrl);
    folder.erase(folder.rfind('/') + 1);
    std::string rest = link;
    while (rest.compare(0, 3, "../") == 0) {
        rest.erase(0, 3);
        if (folder.size() > 1) folder.erase(folder.rfind('/', folder.size() - 2) + 1);
    }
    return origin + folder + rest;
}

std::string htmlText(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '<':
        case '>':
        case '&':
        case '"':
        case '\'':
        case '.':
        case '/':
        case '=':
        case ':':
            out += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
            break;
        default:
            // Control bytes would break lines; page text never needs them.
            out += static_cast<unsigned char>(c) < 32 ? ' ' : c;
        }
    }
    return out;
}

std::string siteUrl(const Web& web, const std::string& relative) {
    return web.hosts.scheme + web.hosts.sites + "/w/" + web.token + "/" + relative;
}

PageBuilder::PageBuilder(Web& web, std::string url, std::string title)
    : web_(web), url_(std::move(url)) {
    lines_.push_back("<html>");
    lines_.push_back("<head><title>" + htmlText(title) + "</title></head>");
}

std::string PageBuilder::picture(const std::string& link, SizeClass sizeClass, Answer answer,
                                 PictureFormat format) {
    const std::string absolute = resolveLink(url_, link);
    const std::string path = normalizePath(urlPath(absolute));
    if (!web_.sites.count(path)) {
        Resource r;
        r.answer = answer;
        r.picture.seed = stableHash(path, web_.seed ^ stableHash(web_.phrase));
        r.picture.phrase = web_.phrase;
        r.picture.label = path.substr(path.rfind('/') + 1);
        r.picture.format = format;
        r.picture.sizeClass = sizeClass;
        web_.sites[path] = r;
    }
    web_.shownOn[path].insert(url_);
    return absolute;
}

void PageBuilder::finish(Answer answer) {
    std::string html;
    for (const auto& l : lines_)
        html += l + "\r\n";
    html += "</html>\r\n";
    Resource r;
    r.answer = answer;
    r.html = html;
    web_.sites[normalizePath(urlPath(url_))] = r;
    web_.yields[url_] = yield_;
}

namespace {

// "l12.jpg" for prefix 'l' and number 12. Built by appending: GCC 12 at -O3 reports a false
// overflow (-Wstringop-overflow) in a one-letter literal added to a temporary string.
std::string pictureName(char prefix, int number) {
    std::string name(1, prefix);
    name += std::to_string(number);
    name += ".jpg";
    return name;
}

using Rng = std::mt19937_64;

int pick(Rng& rng, int low, int high) {
    return low + int(rng() % uint64_t(high - low + 1));
}

SizeClass mostlyMedium(Rng& rng) {
    const int roll = pick(rng, 0, 19);
    return roll == 0 ? SizeClass::Small : roll == 1 ? SizeClass::Large : SizeClass::Medium;
}

void relocate(Web& web, const std::string& from, const std::string& to, bool onRawHost) {
    Resource r;
    r.answer = onRawHost ? Answer::RelocationNoSpace : Answer::Relocation;
    r.target = to;
    (onRawHost ? web.raw : web.sites)[normalizePath(urlPath(from))] = r;
}

// Thumbnails that link to full-size pictures and to picture pages, one level deep.
void buildGallery(Web& web, Rng& rng) {
    const std::string phrase = htmlText(web.phrase);
    PageBuilder page(web, siteUrl(web, "gallery/index.htm"), web.phrase + " gallery");
    page.line("<body bgcolor=\"#ffffff\">");
    page.line("<h1>" + phrase + "</h1>");
    page.line("<p>Pictures of " + phrase + ", click a thumbnail for the full size.</p>");
    const int full = pick(rng, 3, 5);
    for (int i = 1; i <= full; ++i) {
        const std::string n = std::to_string(i);
        page.picture("thumbs/g" + n + ".gif", SizeClass::Small, Answer::Picture,
                     PictureFormat::Gif);
        const auto big =
            page.picture("big/g" + n + ".jpg", i == 1 ? SizeClass::Large : mostlyMedium(rng));
        page.line("<a href=\"big/g" + n + ".jpg\"><img src=\"thumbs/g" + n +
                  ".gif\" width=80 height=60 border=0></a>");
        page.yieldPicture(big);
    }
    // One-line anchors to picture pages: the thumbnail itself is not taken.
    const int onePage = pick(rng, 2, 3);
    for (int i = 1; i <= onePage; ++i) {
        const std::string n = std::to_string(i);
        const std::string ext = i % 2 ? ".htm" : ".html";
        page.picture("thumbs/p" + n + "_t.jpg", SizeClass::Small);
        page.line("<a href=\"photos/photo" + n + ext + "\"><img src=\"thumbs/p" + n +
                  "_t.jpg\" width=80 height=60></a>");
        PageBuilder photo(web, resolveLink(page.url(), "photos/photo" + n + ext),
                          web.phrase + " photo " + n);
        photo.line("<body>");
        photo.line("<h2>" + phrase + " " + n + "</h2>");
        photo.yieldPicture(photo.picture("../big/p" + n + ".jpg", mostlyMedium(rng)));
        photo.line("<img src=\"../big/p" + n + ".jpg\" width=640 height=480>");
        if (i == 1) {
            const std::string detail = "/w/" + web.token + "/gallery/big/p1_detail.jpg";
            photo.yieldPicture(photo.picture(detail, SizeClass::Medium));
            photo.line("<img src=\"" + detail + "\" width=320 height=240>");
        } else {
            // Only the first source of a line counts on a picture page.
            photo.yieldPicture(photo.picture("../big/p" + n + "_left.jpg", SizeClass::Medium));
            photo.picture("../big/p" + n + "_right.jpg", SizeClass::Medium);
            photo.line("<img src=\"../big/p" + n + "_left.jpg\"> <img src=\"../big/p" + n +
                       "_right.jpg\">");
        }
        photo.line("<p><a href=\"../index.htm\">Back to the gallery</a></p>");
        photo.line("</body>");
        photo.finish();
        page.yieldThumbnailPage(photo.url());
    }
    // Anchors across lines: the thumbnail on its own line is taken, the page only recursively.
    const int multi = pick(rng, 1, 2);
    for (int i = onePage + 1; i <= onePage + multi; ++i) {
        const std::string n = std::to_string(i);
        page.yieldPicture(page.picture("thumbs/p" + n + "_t.jpg", SizeClass::Small));
        page.line("<a href=\"photos/photo" + n + ".htm\">");
        page.line("<img src=\"thumbs/p" + n + "_t.jpg\" width=80 height=60>");
        page.line("</a>");
        PageBuilder photo(web, resolveLink(page.url(), "photos/photo" + n + ".htm"),
                          web.phrase + " photo " + n);
        photo.line("<body>");
        photo.yieldPicture(photo.picture("../big/p" + n + ".jpg", mostlyMedium(rng)));
        photo.line("<img src=\"../big/p" + n + ".jpg\">");
        photo.line("</body>");
        photo.finish();
        page.yieldThumbnailPage(photo.url());
    }
    page.yieldPicture(page.picture("big/poster.jpg", SizeClass::Medium));
    page.line("<p><a href=\"big/poster.jpg\">Download the poster</a></p>");
    // A text link to a page is never followed, so the pictures there are not found.
    page.line("<p>See <a href=\"more.htm\">more pictures</a>.</p>");
    PageBuilder more(web, resolveLink(page.url(), "more.htm"), web.phrase + " more");
    more.picture("big/more1.jpg", SizeClass::Medium);
    more.picture("big/more2.jpg", SizeClass::Medium);
    more.line("<img src=\"big/more1.jpg\">");
    more.line("<a href=\"big/more2.jpg\">another one</a>");
    more.finish();
    page.line("</body>");
    page.finish();
    web.hotBotResults.push_back(page.url());
    web.lycosResults.push_back(page.url()); // listed by two services: fetched once
}

// A personal page: backgrounds, bare image tags, quoted values in scripts and parameters.
void buildHome(Web& web, Rng& rng) {
    const std::string phrase = htmlText(web.phrase);
    PageBuilder page(web, siteUrl(web, "home/index.htm"), "My " + web.phrase + " page");
    page.yieldPicture(page.picture("pictures/bg.jpg", SizeClass::Medium));
    page.line("<body background=\"pictures/bg.jpg\" text=\"#000000\">");
    page.line("<h1>Welcome to my " + phrase + " page</h1>");
    page.yieldPicture(page.picture("pictures/me.jpg", SizeClass::Small));
    page.line("<img src=\"pictures/me.jpg\" width=120 height=90>");
    const std::string dog = "/w/" + web.token + "/home/pictures/dog.jpg";
    page.yieldPicture(page.picture(dog, mostlyMedium(rng)));
    page.line("<IMG SRC=\"" + dog + "\" WIDTH=400 HEIGHT=300>");
    page.line("<script language=\"JavaScript\">");
    std::string slides = "var slides = new Array(";
    const int count = pick(rng, 2, 4);
    for (int i = 1; i <= count; ++i) {
        const std::string name = "slides/s" + std::to_string(i) + ".jpg";
        page.yieldPicture(page.picture(name, mostlyMedium(rng)));
        slides += (i > 1 ? ", \"" : "\"") + name + "\"";
    }
    page.line(slides + ");");
    page.line("</script>");
    page.line("<object classid=\"viewer\">");
    page.yieldPicture(page.picture("pictures/object.jpg", SizeClass::Medium));
    page.line("<param name=\"picture\" value=\"pictures/object.jpg\">");
    page.line("</object>");
    page.yieldPicture(page.picture("../home/pictures/tile.jpg", SizeClass::Medium));
    page.line("<table><tr><td background=\"../home/pictures/tile.jpg\">Welcome</td></tr></table>");
    page.yieldPicture(page.picture("pictures/holiday.jpg", SizeClass::Large));
    page.line("<p><a href=\"pictures/holiday.jpg\">Holiday picture (large)</a></p>");
    page.line("</body>");
    page.finish();
    web.lycosResults.push_back(page.url());
}

// Links that are refused, broken or odd, and servers that answer oddly.
void buildClub(Web& web, Rng& rng) {
    PageBuilder page(web, siteUrl(web, "club/index.htm"), web.phrase + " club");
    page.line("<body>");
    page.line("<h1>The " + htmlText(web.phrase) + " club</h1>");
    // An absolute target is refused, so the thumbnail is taken instead.
    const auto full1 = page.picture("full/c1.jpg", SizeClass::Medium);
    page.yieldPicture(page.picture("thumbs/c1.jpg", SizeClass::Medium));
    page.line("<a href=\"" + full1 + "\"><img src=\"thumbs/c1.jpg\" border=0></a>");
    // A target without a page or picture extension: the thumbnail is taken.
    page.yieldPicture(page.picture("thumbs/c2.jpg", SizeClass::Medium));
    page.line("<a href=\"show.cgi?pic=2\"><img src=\"thumbs/c2.jpg\" border=0></a>");
    // A target that is neither a page nor a picture is no target: the thumbnail is taken.
    page.picture("gifs/c3.gif", SizeClass::Small, Answer::Picture, PictureFormat::Gif);
    page.yieldPicture(page.picture("thumbs/c3.jpg", SizeClass::Medium));
    page.line("<a href=\"gifs/c3.gif\"><img src=\"thumbs/c3.jpg\" border=0></a>");
    // A page target whose name goes on after the extension: nothing is taken or followed.
    page.picture("thumbs/c8.jpg", SizeClass::Medium);
    page.line("<a href=\"photos/c8.htm?size=big\"><img src=\"thumbs/c8.jpg\" border=0></a>");
    // Capitals (as cameras write them) and .jpeg name JPEGs too.
    page.yieldPicture(page.picture("full/C4.JPG", SizeClass::Medium));
    page.line("<p><a href=\"full/C4.JPG\">Large picture</a></p>");
    page.yieldPicture(page.picture("full/c5.jpeg", SizeClass::Medium));
    page.line("<img src=\"full/c5.jpeg\">");
    // An anchor around a thumbnail on a line of its own: both pictures are taken.
    page.yieldPicture(page.picture("full/c6.jpg", mostlyMedium(rng)));
    page.yieldPicture(page.picture("thumbs/c6.jpg", SizeClass::Small));
    page.line("<a href=\"full/c6.jpg\">");
    page.line("<img src=\"thumbs/c6.jpg\">");
    page.line("</a>");
    page.line("<p>Again: <a href=\"full/c6.jpg\">the same picture</a></p>");
    // Broken links: a removed picture, a picture address answering with an error page.
    page.yieldPicture(resolveLink(page.url(), "full/gone.jpg"));
    page.line("<p><a href=\"full/gone.jpg\">A picture that was removed</a></p>");
    page.yieldPicture(page.picture("full/broken.jpg", SizeClass::Medium, Answer::HtmlErrorPicture));
    page.line("<p><a href=\"full/broken.jpg\">A picture the server cannot find</a></p>");
    // Pictures without content-length; the second is a GIF under a .jpg name.
    page.yieldPicture(page.picture("live/cam1.jpg", SizeClass::Medium, Answer::PictureNoLength));
    page.line("<p><a href=\"live/cam1.jpg\">Live camera</a></p>");
    page.yieldPicture(page.picture("live/cam2.jpg", SizeClass::Medium, Answer::PictureNoLength,
                                   PictureFormat::Gif));
    page.line("<p><a href=\"live/cam2.jpg\">Live camera (animated)</a></p>");
    // An escape in the address: taken from the page, refused by the results list.
    page.yieldPicture(resolveLink(page.url(), "full/c%2D7.jpg"));
    page.picture("full/c-7.jpg", SizeClass::Medium);
    page.line("<p><a href=\"full/c%2D7.jpg\">Escaped name</a></p>");
    page.line("</body>");
    page.finish();
    web.hotBotResults.push_back(page.url());
}

// A page deep in folders, addressed by its folder, with "../", "/" and "./" links.
void buildDeep(Web& web, Rng& rng) {
    PageBuilder page(web, siteUrl(web, "deep/one/two/"), web.phrase + " deep");
    page.line("<body>");
    page.yieldPicture(page.picture("../../pics/d1.jpg", mostlyMedium(rng)));
    page.line("<img src=\"../../pics/d1.jpg\">");
    page.yieldPicture(page.picture("../../../deep/pics/d2.jpg", mostlyMedium(rng)));
    page.line("<img src=\"../../../deep/pics/d2.jpg\">");
    const std::string rooted = "/w/" + web.token + "/deep/pics/d3.jpg";
    page.yieldPicture(page.picture(rooted, mostlyMedium(rng)));
    page.line("<img src=\"" + rooted + "\">");
    page.yieldPicture(page.picture("./local/d4.jpg", SizeClass::Medium));
    page.line("<img src=\"./local/d4.jpg\">");
    page.yieldPicture(page.picture("local/d5.jpg", SizeClass::Medium));
    page.line("<img src=\"local/d5.jpg\">");
    page.yieldPicture(page.picture("../../pics/d6.jpg", SizeClass::Medium));
    page.line("<p><a href=\"../../pics/d6.jpg\">The first picture in full</a></p>");
    page.line("</body>");
    page.finish();
    web.lycosResults.push_back(page.url());
}

// Relocations: "Location: " within a folder, and a chain that starts with "Location:" without
// the blank on the raw host. Links on a relocated page are resolved against the address it
// finally came from, so the chain's page also has a relative one.
void buildMoved(Web& web, Rng& rng) {
    PageBuilder page(web, siteUrl(web, "moved/index.htm"), web.phrase + " (new address)");
    page.line("<body>");
    page.yieldPicture(page.picture("pics/m1.jpg", mostlyMedium(rng)));
    page.line("<img src=\"pics/m1.jpg\">");
    page.yieldPicture(page.picture("pics/m2.jpg", SizeClass::Medium));
    page.line("<a href=\"pics/m2.jpg\">the second picture</a>");
    page.line("</body>");
    page.finish();
    const std::string old = siteUrl(web, "moved/old.htm");
    relocate(web, old, page.url(), false);
    web.yields[old] = web.yields[page.url()];
    web.lycosResults.push_back(old);

    PageBuilder mirror(web, siteUrl(web, "mirror/index.htm"), web.phrase + " mirror");
    mirror.line("<body>");
    mirror.yieldPicture(mirror.picture("pics/r1.jpg", SizeClass::Medium));
    mirror.line("<img src=\"" + siteUrl(web, "mirror/pics/r1.jpg") + "\">");
    mirror.yieldPicture(mirror.picture("pics/r2.jpg", SizeClass::Medium));
    mirror.line("<table><tr><td background=\"" + siteUrl(web, "mirror/pics/r2.jpg") +
                "\">x</td></tr></table>");
    // An absolute href is refused as a link target, but the quoted value is still taken.
    mirror.yieldPicture(mirror.picture("pics/r3.jpg", SizeClass::Medium));
    mirror.line("<a href=\"" + siteUrl(web, "mirror/pics/r3.jpg") + "\">third</a>");
    mirror.yieldPicture(mirror.picture("pics/r4.jpg", SizeClass::Medium));
    mirror.line("<img src=\"pics/r4.jpg\">");
    mirror.line("</body>");
    mirror.finish();
    const std::string go = siteUrl(web, "mirror/go.htm");
    relocate(web, go, mirror.url(), false);
    const std::string rawStart = "http://" + web.hosts.raw + "/w/" + web.token + "/mirror/";
    relocate(web, rawStart, go, true);
    web.yields[rawStart] = web.yields[mirror.url()];
    web.hotBotResults.push_back(rawStart);
}

// Pages that answer slowly, never, or not at all.
void buildTroubled(Web& web, Rng& rng) {
    PageBuilder slow(web, siteUrl(web, "slow/index.htm"), web.phrase + " (slow server)");
    slow.line("<body>");
    slow.yieldPicture(slow.picture("pics/w1.jpg", mostlyMedium(rng)));
    slow.line("<img src=\"pics/w1.jpg\">");
    slow.yieldPicture(slow.picture("pics/w2.jpg", SizeClass::Medium));
    slow.line("<a href=\"pics/w2.jpg\">the second picture</a>");
    slow.line("</body>");
    slow.finish(Answer::SlowPage);
    web.hotBotResults.push_back(slow.url());

    PageBuilder hang(web, siteUrl(web, "hang/index.htm"), web.phrase + " (never answers)");
    hang.picture("pics/h1.jpg", SizeClass::Medium);
    hang.line("<img src=\"pics/h1.jpg\">");
    hang.finish(Answer::HangingPage);
    web.yields[hang.url()] = {}; // nothing arrives, so nothing is taken
    web.hotBotResults.push_back(hang.url());

    web.hotBotResults.push_back(siteUrl(web, "dead/index.htm")); // 404
}

// The picture library that the two image services list directly.
void buildLibrary(Web& web, Rng& rng) {
    PageBuilder shelf(web, siteUrl(web, "library/index.html"), web.phrase + " library");
    const int pages = 3;
    int number = 0;
    for (int p = 0; p < pages; ++p) {
        std::vector<std::string> list;
        const int count = pick(rng, 4, 6);
        for (int i = 0; i < count; ++i) {
            ++number;
            const SizeClass cls = number == 2   ? SizeClass::Small
                                  : number == 5 ? SizeClass::Large
                                                : mostlyMedium(rng);
            list.push_back(shelf.picture(pictureName('l', number), cls));
        }
        web.lycosImagePages.push_back(list);
    }
    for (int p = 0; p < 2; ++p) {
        std::vector<std::string> list;
        const int count = pick(rng, 3, 5);
        for (int i = 0; i < count; ++i) {
            ++number;
            list.push_back(shelf.picture(pictureName('s', number), mostlyMedium(rng)));
        }
        web.scourNetPages.push_back(list);
    }
    shelf.line("<body><p>The library is listed by the image services only.</p></body>");
    shelf.finish();
}

// Listed by a service only with markers in the wrong case: never fetched.
void buildDecoy(Web& web) {
    PageBuilder decoy(web, siteUrl(web, "decoy/index.htm"), web.phrase + " decoy");
    decoy.picture("pics/x1.jpg", SizeClass::Medium);
    decoy.line("<img src=\"pics/x1.jpg\">");
    decoy.finish();
}

} // namespace

void buildSites(Web& web) {
    Rng rng(web.seed ^ stableHash(web.phrase));
    buildGallery(web, rng);
    buildHome(web, rng);
    buildClub(web, rng);
    buildDeep(web, rng);
    buildMoved(web, rng);
    buildTroubled(web, rng);
    buildLibrary(web, rng);
    buildDecoy(web);
    addFolderListings(web);
}

} // namespace lumi::sandbox
