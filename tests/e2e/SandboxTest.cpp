// The stand-in web's own logic: phrase tokens, pictures, the site model and what it expects a
// search to find, the service pages, the live server's odd answers and the static export.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include "PhraseToken.h"
#include "Pictures.h"
#include "SandboxServer.h"
#include "ServicePages.h"
#include "SiteModel.h"
#include "SitePages.h"
#include "StaticExport.h"
#include "common/EventLoopWait.h"

using namespace lumi::sandbox;

namespace {

const SiteHosts kHosts{"127.0.0.1:1000", "127.0.0.1:1000", "127.0.0.1:2000"};

std::string lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// One HTTP exchange over a fresh connection: sends request, reads until the server closes.
std::string httpExchange(int port, const std::string& request, int timeoutSeconds = 10) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{timeoutSeconds, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    std::string answer;
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::send(s, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        char buffer[65536];
        for (ssize_t n; (n = ::recv(s, buffer, sizeof buffer, 0)) > 0;)
            answer.append(buffer, size_t(n));
    }
    ::close(s);
    return answer;
}

std::string get(int port, const std::string& target) {
    return httpExchange(port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

std::string header(const std::string& answer) {
    return answer.substr(0, answer.find("\r\n\r\n") + 2);
}
std::string body(const std::string& answer) {
    const auto at = answer.find("\r\n\r\n");
    return at == std::string::npos ? std::string() : answer.substr(at + 4);
}

// Renders each picture once per test run; the model asks for the same ones many times.
std::string cachedPicture(const PictureRecipe& recipe) {
    static std::map<std::pair<uint64_t, int>, std::string> cache;
    auto& bytes = cache[{recipe.seed, int(recipe.format) * 10 + int(recipe.sizeClass)}];
    if (bytes.empty()) bytes = renderPicture(recipe);
    return bytes;
}

std::set<std::string> urls(const std::vector<ExpectedRow>& rows) {
    std::set<std::string> out;
    for (const auto& r : rows)
        out.insert(r.url);
    return out;
}

} // namespace

TEST(SandboxPhrase, TokensRoundTripAndKeepMarkersOutOfPaths) {
    std::string every;
    for (int b = 1; b < 256; ++b)
        every += char(b);
    for (const std::string& phrase :
         {std::string(), std::string("red cars"), std::string("img src href http .jpg /a"),
          every.substr(0, 150), std::string("\xa0\xaa leading latin-1")}) {
        const std::string token = phraseToken(phrase);
        EXPECT_EQ(token[0], 'q');
        for (const char* marker :
             {"/a", "src", "img", "href", "http", ".jpg", ".htm", "&", "=", "?", "%"})
            EXPECT_EQ(("/w/" + token + "/").find(marker), std::string::npos)
                << marker << " in " << token;
        std::string back;
        ASSERT_TRUE(phraseFromToken(token, back));
        EXPECT_EQ(back, phrase);
    }
    // Long phrases are cut before anything is derived from them.
    std::string back;
    ASSERT_TRUE(phraseFromToken(phraseToken(std::string(500, 'x')), back));
    EXPECT_EQ(back, std::string(kMaxPhraseBytes, 'x'));
    for (const char* bad : {"", "x41", "q4", "q4G", "q4A", "_"})
        EXPECT_FALSE(phraseFromToken(bad, back)) << bad;

    EXPECT_EQ(decodeQueryPhrase("red+cars%21%2F%22"), "red cars!/\"");
    EXPECT_EQ(decodeQueryPhrase("100%+%zz&x=1%4"), "100% %zz&x=1%4");
    EXPECT_EQ(decodeQueryPhrase(std::string(1000, 'y')).size(), kMaxPhraseBytes);
    const std::string hotBot = "/?SM=MC&DC=100&NUMMOD=2&MT=cats+%26+dogs";
    EXPECT_EQ(decodeQueryPhrase(rawQueryValue(hotBot, "&MT=")), "cats & dogs");
    EXPECT_EQ(rawQueryValue("/x?cat=graphics&first=11&w=q41", "&first="), "11");
    EXPECT_EQ(rawQueryValue("/x?a=1", "&first="), "");
}

TEST(SandboxPictures, SizeClassesHoldAndEveryPictureDecodes) {
    PictureRecipe recipe;
    recipe.phrase = "red cars";
    recipe.label = "a.jpg";
    for (uint64_t seed : {1ull, 77ull}) {
        recipe.seed = seed;
        recipe.sizeClass = SizeClass::Small;
        const auto small = renderPicture(recipe);
        EXPECT_LT(small.size(), kSmallPictureMaxBytes);
        recipe.sizeClass = SizeClass::Medium;
        const auto medium = renderPicture(recipe);
        EXPECT_GT(medium.size(), kMediumPictureMinBytes);
        EXPECT_LT(medium.size(), kMediumPictureMaxBytes);
        recipe.sizeClass = SizeClass::Large;
        const auto large = renderPicture(recipe);
        EXPECT_GT(large.size(), kLargePictureMinBytes);
        for (const auto* bytes : {&small, &medium, &large}) {
            QImage image;
            ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(bytes->data()),
                                           int(bytes->size()), "JPEG"));
            EXPECT_GT(image.width(), 50);
        }
        EXPECT_EQ(renderPicture(recipe), large) << "same recipe, same bytes";
    }
    recipe.format = PictureFormat::Gif;
    const auto gif = renderPicture(recipe);
    ASSERT_EQ(gif.compare(0, 3, "GIF"), 0);
    EXPECT_GT(gif.size(), kMediumPictureMinBytes);
    recipe.sizeClass = SizeClass::Small;
    EXPECT_LT(renderPicture(recipe).size(), kSmallPictureMaxBytes);
    recipe.sizeClass = SizeClass::Medium;
    QImage image;
    EXPECT_TRUE(
        image.loadFromData(reinterpret_cast<const uchar*>(gif.data()), int(gif.size()), "GIF"));
    recipe.seed = 2;
    EXPECT_NE(renderPicture(recipe), gif);
}

TEST(SandboxModel, WebIsDeterministicForSeedAndPhrase) {
    const Web a = buildWeb(5, "red cars", kHosts);
    const Web b = buildWeb(5, "red cars", kHosts);
    ASSERT_EQ(a.sites.size(), b.sites.size());
    for (const auto& [path, r] : a.sites) {
        ASSERT_TRUE(b.sites.count(path)) << path;
        EXPECT_EQ(r.html, b.sites.at(path).html);
        EXPECT_EQ(r.picture.seed, b.sites.at(path).picture.seed);
        EXPECT_EQ(int(r.picture.sizeClass), int(b.sites.at(path).picture.sizeClass));
    }
    EXPECT_EQ(a.hotBotResults, b.hotBotResults);
    EXPECT_EQ(a.lycosImagePages, b.lycosImagePages);
    const Web otherSeed = buildWeb(6, "red cars", kHosts);
    int differing = 0;
    for (const auto& [path, r] : a.sites)
        if (otherSeed.sites.count(path) && otherSeed.sites.at(path).picture.seed != r.picture.seed)
            ++differing;
    EXPECT_GT(differing, 0);
    const Web otherPhrase = buildWeb(5, "blue boats", kHosts);
    EXPECT_NE(otherPhrase.token, a.token);
    EXPECT_EQ(otherPhrase.sites.count("/w/" + a.token + "/gallery/index.htm"), 0u);
}

TEST(SandboxModel, PagesKeepAnchorsWholeWhateverThePhrase) {
    // The link extractor ends an anchor at the first "/a" anywhere and looks for markers in
    // whole lines, so the phrase must never add either.
    for (const char* phrase :
         {"red cars", "</a> <a href=\"x.jpg\"> img src= target= <em> http: .jpg /about"}) {
        const Web web = buildWeb(3, phrase, kHosts);
        for (const auto& [path, r] : web.sites) {
            if (r.html.empty()) continue;
            const std::string l = lower(r.html);
            EXPECT_EQ(count(l, "<a"), count(l, "</a")) << path;
            EXPECT_EQ(count(l, "/a"), count(l, "</a")) << path;
        }
        EXPECT_EQ(count(hotBotResultPage(web), "target="), int(web.hotBotResults.size()));
        EXPECT_EQ(count(lycosResultPage(web), "<em>"), int(web.lycosResults.size()));
        EXPECT_EQ(count(lycosImagesPage(web, 0), "<em>"), int(web.lycosImagePages[0].size()));
        EXPECT_EQ(count(lower(scourNetResultPage(web, 0)), "searchfieldlocationlink"),
                  int(web.scourNetPages[0].size()) + 2);
        // Every marker the parsers and the extractor read holds a character that page text
        // writes as an entity.
        const std::string text = lower(htmlText(phrase));
        for (const char* marker : {"<a", "/a", ".jpg", ".htm", "src=", "href=", "target=", "&id=",
                                   "<em>", "http:", "result page:", "\""})
            EXPECT_EQ(text.find(marker), std::string::npos) << marker;
    }
}

TEST(SandboxModel, ExpectedRowsFollowTheOptions) {
    const Web web = buildWeb(1, "red cars", kHosts);
    SearchOptions checked; // with both bounds, of 10 kB and 1 000 kB
    checked.lowerBoundKb = 10;
    checked.upperBoundOn = true;
    const auto rows = expectedRows(web, checked, cachedPicture);
    ASSERT_GT(rows.size(), 30u);
    for (const auto& row : rows) {
        const Resource* r = findResource(web, row.url);
        ASSERT_NE(r, nullptr) << row.url;
        ASSERT_TRUE(r->answer == Answer::Picture || r->answer == Answer::PictureNoLength)
            << row.url;
        if (r->answer == Answer::Picture) {
            const auto size = std::stoll(row.sizeText);
            EXPECT_EQ(size, int64_t(cachedPicture(r->picture).size()));
            EXPECT_GE(size, 10000);
            EXPECT_LE(size, 1000000);
        } else {
            EXPECT_EQ(row.sizeText, "UNKNOWN");
        }
        EXPECT_EQ(row.url.find_first_of("&=?%"), std::string::npos);
    }
    // Without bounds the small thumbnails and the large pictures come in.
    SearchOptions unbounded;
    unbounded.lowerBoundOn = unbounded.upperBoundOn = false;
    int small = 0, large = 0;
    for (const auto& row : expectedRows(web, unbounded, cachedPicture)) {
        if (row.sizeText == "UNKNOWN") continue;
        const auto size = std::stoll(row.sizeText);
        small += size < 10000;
        large += size > 1000000;
    }
    EXPECT_GE(small, 2);
    EXPECT_GE(large, 2);
    // Unchecked: every address taken is listed, broken ones included, all "UNKNOWN".
    SearchOptions unchecked = checked;
    unchecked.checkLinks = false;
    const auto all = expectedRows(web, unchecked, cachedPicture);
    for (const auto& row : all) // the archives announce sizes of their own
        if (row.url.find("/archive/") == std::string::npos) {
            EXPECT_EQ(row.sizeText, "UNKNOWN");
        }
    const auto allUrls = urls(all);
    for (const auto& url : urls(rows))
        EXPECT_TRUE(allUrls.count(url)) << url;
    EXPECT_TRUE(allUrls.count(siteUrl(web, "club/full/gone.jpg")));
    EXPECT_TRUE(allUrls.count(siteUrl(web, "club/full/broken.jpg")));
    EXPECT_FALSE(urls(rows).count(siteUrl(web, "club/full/gone.jpg")));
    EXPECT_TRUE(urls(rows).count(siteUrl(web, "club/full/C4.JPG"))) << "camera names count";
    // Not recursive: exactly the pictures of thumbnail pages that nothing else yields drop out.
    SearchOptions flat = checked;
    flat.recursive = false;
    const auto flatUrls = urls(expectedRows(web, flat, cachedPicture));
    EXPECT_FALSE(flatUrls.count(siteUrl(web, "gallery/big/p1_detail.jpg")));
    EXPECT_TRUE(urls(rows).count(siteUrl(web, "gallery/big/p1_detail.jpg")));
    EXPECT_TRUE(flatUrls.count(siteUrl(web, "gallery/big/g2.jpg")) ==
                urls(rows).count(siteUrl(web, "gallery/big/g2.jpg")));
    EXPECT_LT(flatUrls.size(), urls(rows).size());
    const auto thumbs = thumbnailPages(web);
    EXPECT_GE(thumbs.size(), 3u);
    // Pictures that a search never reaches are served but never expected.
    for (const char* never :
         {"gallery/big/more1.jpg", "club/full/c1.jpg", "club/thumbs/c8.jpg", "decoy/pics/x1.jpg",
          "hang/pics/h1.jpg", "gallery/big/p2_right.jpg"}) {
        EXPECT_NE(findResource(web, siteUrl(web, never)), nullptr) << never;
        EXPECT_FALSE(allUrls.count(siteUrl(web, never))) << never;
    }
    // A static copy announces the length of every picture it has.
    SearchOptions copy;
    copy.staticCopy = true;
    for (const auto& row : expectedRows(web, copy, cachedPicture))
        EXPECT_NE(row.sizeText, "UNKNOWN") << row.url;
}

TEST(SandboxServerTest, AnswersLikeTheServersOf1999) {
    ServerOptions options;
    options.hangMs = 10 * 60 * 1000;
    options.slowMs = 300;
    SandboxServer server(options);
    ASSERT_TRUE(server.start());
    const int port = server.port();
    const auto web = server.web("red cars");
    const std::string site = "/w/" + web->token;

    const auto page = get(port, site + "/gallery/index.htm");
    EXPECT_EQ(page.compare(0, 12, "HTTP/1.1 200"), 0);
    EXPECT_NE(header(page).find("Content-Length: "), std::string::npos);
    EXPECT_EQ(body(page), web->sites.at(site + "/gallery/index.htm").html);
    // The absolute form that a relocation can produce is served like the origin form.
    EXPECT_EQ(body(get(port, "http://127.0.0.1" + site + "/gallery/index.htm")), body(page));
    // "./" steps name the same file.
    EXPECT_EQ(body(get(port, site + "/deep/one/two/./local/d4.jpg")),
              body(get(port, site + "/deep/one/two/local/d4.jpg")));

    // Connections are kept as real servers keep them (the answer is read until the time-out).
    const auto kept =
        httpExchange(port, "GET " + site + "/gallery/index.htm HTTP/1.1\r\nHost: h\r\n\r\n", 1);
    EXPECT_NE(header(kept).find("Keep-Alive: timeout="), std::string::npos) << header(kept);
    EXPECT_EQ(header(kept).find("Connection: close"), std::string::npos) << header(kept);

    const auto picture = get(port, site + "/club/live/cam1.jpg");
    EXPECT_EQ(header(picture).find("Content-Length"), std::string::npos);
    EXPECT_NE(header(picture).find("Content-Type: image/jpeg"), std::string::npos);
    EXPECT_EQ(body(picture),
              server.pictureBytes(web->sites.at(site + "/club/live/cam1.jpg").picture));
    EXPECT_NE(header(get(port, site + "/club/live/cam2.jpg")).find("Content-Type: image/gif"),
              std::string::npos);
    const auto error = get(port, site + "/club/full/broken.jpg");
    EXPECT_EQ(error.compare(0, 12, "HTTP/1.1 200"), 0);
    EXPECT_NE(header(error).find("text/html"), std::string::npos);
    EXPECT_EQ(get(port, site + "/club/full/gone.jpg").compare(0, 12, "HTTP/1.1 404"), 0);
    // Visit opens a picture's folder: it lists the pictures and the pages that show them.
    const auto folder = get(port, site + "/club/full/");
    EXPECT_EQ(folder.compare(0, 12, "HTTP/1.1 200"), 0);
    EXPECT_NE(body(folder).find("<a href=\"broken.jpg\">"), std::string::npos);
    EXPECT_NE(
        body(folder).find("<a href=\"http://" + web->hosts.sites + site + "/club/index.htm\">"),
        std::string::npos);
    EXPECT_EQ(get(port, site + "/club/").compare(0, 12, "HTTP/1.1 404"), 0)
        << "a folder without pictures stays unknown";
    EXPECT_EQ(body(get(port, site + "/library/")), body(get(port, site + "/library/index.html")))
        << "a folder with an index page answers with it";
    EXPECT_EQ(get(port, "/nowhere").compare(0, 12, "HTTP/1.1 404"), 0);

    const auto moved = get(port, site + "/moved/old.htm");
    EXPECT_NE(header(moved).find("\r\nLocation: http://" + web->hosts.sites + site +
                                 "/moved/index.htm\r\n"),
              std::string::npos);
    const auto raw = get(server.rawPort(), site + "/mirror/");
    EXPECT_NE(raw.find("\r\nLocation:http://" + web->hosts.sites + site + "/mirror/go.htm\r\n"),
              std::string::npos);
    EXPECT_EQ(get(server.rawPort(), site + "/elsewhere").compare(0, 12, "HTTP/1.0 404"), 0);

    EXPECT_EQ(body(get(port, site + "/slow/index.htm")),
              web->sites.at(site + "/slow/index.htm").html);

    const auto version = body(get(port, "/progver.txt"));
    EXPECT_EQ(version, "Lumisift\t1.4\tSearches the stand-in web.\thttp://127.0.0.1:" +
                           std::to_string(port) + "/download.htm\r\n");
    EXPECT_NE(body(get(port, "/download.htm")).find("Lumisift 1.4"), std::string::npos);

    // The services take the phrase from their own query templates.
    EXPECT_EQ(body(get(port, "/?SM=MC&DC=100&NUMMOD=2&MT=red+cars")), hotBotResultPage(*web));
    EXPECT_EQ(
        body(get(port,
                 "/cgi-bin/pursuit?etemp=error&cat=lycos&maxhits=100&mtemp=main&query=red+cars")),
        lycosResultPage(*web));
    EXPECT_EQ(
        body(
            get(port, "/cgi-bin/pursuit?etemp=error&cat=graphics&mtemp=main.sites&query=red+cars")),
        lycosImagesPage(*web, 0));
    EXPECT_EQ(body(get(port, "/cgi-bin/pursuit?cat=graphics&first=11&w=" + web->token)),
              lycosImagesPage(*web, 1));
    EXPECT_EQ(body(get(port, "/cgi-bin/search.cgi?index=image&preview_size=small&query=red+cars")),
              scourNetResultPage(*web, 0));
    EXPECT_EQ(body(get(port, "/cgi-bin/search.cgi?index=image&preview_size=small&page=2&w=" +
                                 web->token)),
              scourNetResultPage(*web, 1));

    // The page that never answers holds its request until the server stops, and never
    // holds up the stop.
    std::string held;
    bool heldDone = false;
    std::thread hanging([&] {
        held = httpExchange(port, "GET " + site + "/hang/index.htm HTTP/1.0\r\n\r\n", 60);
        heldDone = true;
    });
    lumi::test::spinFor(300);
    EXPECT_FALSE(heldDone);
    const auto log = server.requestLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "main " + site + "/hang/index.htm");
    bool stopped = false;
    std::thread stopper([&] {
        server.stop();
        stopped = true;
    });
    EXPECT_TRUE(lumi::test::waitUntil([&] { return stopped && heldDone; }, 20000));
    stopper.join();
    hanging.join();
    EXPECT_EQ(held.find("200 OK"), std::string::npos);
}

TEST(SandboxExport, WritesWhatAStaticServerCanServe) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const Web web = buildWeb(1, "red cars", {"127.0.0.1:3000", "127.0.0.1:3000", "127.0.0.1:0"});
    std::string error;
    ASSERT_TRUE(exportWeb(web, folder, renderPicture, error)) << error;
    ASSERT_TRUE(exportMakerSite({"127.0.0.1:3000", "1.4"}, folder, error)) << error;
    const auto read = [&](const std::string& path) {
        std::ifstream in(folder + path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string site = "/w/" + web.token;
    EXPECT_EQ(read(site + "/gallery/index.htm"), web.sites.at(site + "/gallery/index.htm").html);
    EXPECT_EQ(read(site + "/deep/one/two/index.html"), web.sites.at(site + "/deep/one/two/").html);
    EXPECT_EQ(read(site + "/moved/old.htm"), web.sites.at(site + "/moved/index.htm").html);
    EXPECT_EQ(read(site + "/club/live/cam1.jpg"),
              renderPicture(web.sites.at(site + "/club/live/cam1.jpg").picture));
    for (const char* absent : {"/hang/index.htm", "/club/full/broken.jpg", "/club/full/gone.jpg"})
        EXPECT_FALSE(std::filesystem::exists(folder + site + absent)) << absent;
    EXPECT_NE(read("/progver.txt").find("Lumisift\t1.4\t"), std::string::npos);
}
