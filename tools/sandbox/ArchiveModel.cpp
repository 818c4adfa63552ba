#include "ArchiveModel.h"

#include <algorithm>
#include <map>

#include <zlib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "PhraseToken.h"
#include "SitePages.h"

namespace lumi::sandbox {

namespace {

constexpr int kOpenverseItems = 25, kCommonsItems = 24, kSearXNGItems = 15;
// Pages the never-ending answer claims.
constexpr int kEndlessPages = 1000000;

const char* kindFolder(ArchiveKind kind) {
    switch (kind) {
    case ArchiveKind::Openverse: return "openverse";
    case ArchiveKind::Commons: return "commons";
    case ArchiveKind::SearXNG: return "searxng";
    }
    return "";
}

struct Licence {
    const char* code;
    const char* version;
    const char* name;
    const char* url;
};
const Licence kLicences[] = {
    {"by", "4.0", "CC BY 4.0", "https://creativecommons.org/licenses/by/4.0/"},
    {"by-sa", "4.0", "CC BY-SA 4.0", "https://creativecommons.org/licenses/by-sa/4.0/"},
    {"by-sa", "2.0", "CC BY-SA 2.0", "https://creativecommons.org/licenses/by-sa/2.0/"},
    {"cc0", "1.0", "CC0 1.0", "https://creativecommons.org/publicdomain/zero/1.0/"},
    {"by-nc", "4.0", "CC BY-NC 4.0", "https://creativecommons.org/licenses/by-nc/4.0/"},
};

// Commons' own code of a licence: "cc-by-sa-4.0", "cc0".
std::string commonsCode(const ArchiveItem& item) {
    return item.licenceCode == "cc0" ? "cc0" : "cc-" + item.licenceCode + "-" + item.licenceVersion;
}
const char* const kCreators[] = {"Ada Lindqvist", "Bruno Okafor", "Chen Wei", "Dana Ruiz",
                                 "Émile Durand"};

QJsonValue jsonText(const std::string& text) {
    return QJsonValue(QString::fromStdString(text));
}

std::string hostility(const Web& web) {
    return web.phrase.compare(0, 8, "hostile-") == 0 ? web.phrase.substr(8) : std::string();
}

// Text as an archive's field may carry it: with named and numeric entities, and in a tag when
// the field holds HTML.
std::string asHtml(const std::string& text, bool markup) {
    std::string html = markup ? "<b>" : "";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ')
            html += "&#160;";
        else if (text[i] == '&')
            html += "&amp;";
        else if (text[i] == '\'')
            html += "&#x27;";
        else if (text.compare(i, 2, "\xc3\x89") == 0)
            html += "&Eacute;", ++i;
        else
            html += text[i];
    }
    return html + (markup ? "</b>" : "");
}

std::string fieldText(const ArchiveItem& item, const std::string& text, bool markup = false) {
    return item.htmlFields ? asHtml(text, markup) : text;
}

// The hostile phrases whose answers send their numbers as text.
bool numbersAsText(const Web& web) {
    return hostility(web) == "batch";
}

QJsonValue number(const Web& web, double value) {
    return numbersAsText(web) ? QJsonValue(QString::number(value, 'f', 0)) : QJsonValue(value);
}

// The type field as the item sets it, else the picture's own.
void putType(QJsonObject& r, const char* key, const ArchiveItem& item, const char* jpeg,
             const char* png) {
    if (item.typeField == "none") return;
    r[QLatin1String(key)] = item.typeField.empty() ? QString::fromLatin1(item.jpeg ? jpeg : png)
                                                   : QString::fromStdString(item.typeField);
}

QJsonObject openverseResult(const Web& web, const ArchiveItem& item, int64_t size) {
    QJsonObject r;
    r[QStringLiteral("url")] = jsonText(item.url);
    r[QStringLiteral("foreign_landing_url")] = jsonText(item.landing);
    r[QStringLiteral("title")] =
        jsonText(!item.titleAsSent.empty() ? item.titleAsSent
                 : item.commonsTitle       ? "File:" + item.title + ".jpg"
                                           : fieldText(item, item.title));
    if (!item.creatorUrl.empty()) r[QStringLiteral("creator_url")] = jsonText(item.creatorUrl);
    r[QStringLiteral("creator")] = jsonText(fieldText(item, item.creator));
    r[QStringLiteral("license")] = jsonText(item.licenceCode);
    r[QStringLiteral("license_version")] = jsonText(item.licenceVersion);
    r[QStringLiteral("license_url")] = jsonText(item.licenceUrl);
    putType(r, "filetype", item, "jpg", "png");
    r[QStringLiteral("filesize")] = size > 0 ? number(web, double(size)) : QJsonValue();
    r[QStringLiteral("width")] = number(web, item.width);
    r[QStringLiteral("height")] = number(web, item.height);
    return r;
}

QJsonObject commonsPage(const Web& web, const ArchiveItem& item, int index, int64_t size) {
    QJsonObject meta;
    const auto value = [](const std::string& text) {
        QJsonObject v;
        v[QStringLiteral("value")] = jsonText(text);
        return v;
    };
    meta[QStringLiteral("LicenseShortName")] = value(item.licenceName);
    meta[QStringLiteral("Artist")] =
        value(!item.creatorAsSent.empty()
                  ? item.creatorAsSent
                  : "<a href=\"" + item.creatorUrl + "\">" + fieldText(item, item.creator, true) +
                        "</a>");
    meta[QStringLiteral("LicenseUrl")] = value(item.licenceUrl);
    meta[QStringLiteral("License")] = value(commonsCode(item));
    QJsonObject info;
    info[QStringLiteral("url")] = jsonText(item.url);
    info[QStringLiteral("descriptionurl")] = jsonText(item.landing);
    info[QStringLiteral("size")] = number(web, double(size));
    info[QStringLiteral("width")] = number(web, item.width);
    info[QStringLiteral("height")] = number(web, item.height);
    info[QStringLiteral("mime")] = QString::fromLatin1(item.jpeg ? "image/jpeg" : "image/png");
    info[QStringLiteral("extmetadata")] = meta;
    QJsonObject page;
    page[QStringLiteral("ns")] = 6;
    page[QStringLiteral("index")] = number(web, index);
    page[QStringLiteral("title")] = jsonText("File:" + item.title + (item.jpeg ? ".jpg" : ".png"));
    page[QStringLiteral("imageinfo")] = QJsonArray{info};
    return page;
}

QJsonObject searxngResult(const ArchiveItem& item) {
    QJsonObject r;
    r[QStringLiteral("img_src")] = jsonText(item.url);
    r[QStringLiteral("url")] = jsonText(item.landing);
    r[QStringLiteral("title")] = jsonText(fieldText(item, item.title));
    r[QStringLiteral("resolution")] =
        QString::fromStdString(std::to_string(item.width) + " x " + std::to_string(item.height));
    putType(r, "img_format", item, "JPEG", "PNG");
    r[QStringLiteral("source")] = QStringLiteral("sandbox");
    return r;
}

// The items one result page shows; hostile phrases bend the selection.
std::vector<ArchiveItem> pageItems(const std::vector<ArchiveItem>& all, int page,
                                   const std::string& hostile) {
    if (hostile == "dupes" || hostile == "endless") page = 0; // the first page, every time
    std::vector<ArchiveItem> shown;
    for (int i = page * kArchivePageSize; i < (page + 1) * kArchivePageSize && i < int(all.size());
         ++i)
        shown.push_back(all[size_t(i)]);
    return shown;
}

// An answer with fields missing or of the wrong type around one sound result.
std::string oddAnswer(ArchiveKind kind, const ArchiveItem& sound, int64_t size) {
    const QJsonArray odd{QJsonValue(42), QJsonValue(QStringLiteral("text")), QJsonObject{},
                         QJsonObject{{QStringLiteral("url"), 7}, {QStringLiteral("img_src"), true}},
                         QJsonObject{{QStringLiteral("url"), QStringLiteral("ftp://x/y.jpg")},
                                     {QStringLiteral("img_src"), QStringLiteral("not a url")}}};
    QJsonObject root;
    if (kind == ArchiveKind::Commons) {
        QJsonObject pages{{QStringLiteral("-1"), QJsonObject{{QStringLiteral("imageinfo"), 3}}},
                          {QStringLiteral("-2"), QStringLiteral("x")},
                          {QStringLiteral("1"), commonsPage(Web{}, sound, 1, size)}};
        root[QStringLiteral("query")] = QJsonObject{{QStringLiteral("pages"), pages}};
        root[QStringLiteral("continue")] =
            QJsonObject{{QStringLiteral("gsroffset"), QStringLiteral("ten")}};
    } else {
        QJsonArray results = odd;
        results.append(kind == ArchiveKind::Openverse ? openverseResult(Web{}, sound, size)
                                                      : searxngResult(sound));
        root[QStringLiteral("results")] = results;
        root[QStringLiteral("page_count")] = QStringLiteral("many");
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

// The shapes of real answers, spread over the items: a CDN address with a query, an address
// with neither extension nor type (the decoy PNGs among them), a thumbnail's format beside a
// JPEG path, a Commons-hosted title on Openverse; HTML and entities in every title and creator.
void shape(ArchiveItem& item, ArchiveKind kind) {
    item.htmlFields = true;
    item.title = item.title.substr(0, item.title.rfind(' ')) + " & co's " +
                 std::to_string(item.index + 1);
    const int slot = item.index % 4;
    if (slot == 0) {
        item.url += "?w=640&h=480";
    } else if ((slot == 1 || !item.jpeg) && kind != ArchiveKind::Commons) {
        item.url.erase(item.url.rfind('.'));
        item.typeField = "none";
    } else if (slot == 2 && kind == ArchiveKind::SearXNG) {
        item.typeField = "PNG";
    } else if (slot == 3 && kind == ArchiveKind::Openverse) {
        item.commonsTitle = true;
    }
}

// A body that unpacks to far more than any answer may hold; made once.
const std::string& gzipBomb() {
    static const std::string bomb = gzipped(std::string(24 * 1024 * 1024, ' '));
    return bomb;
}

// Error answers in the services' own forms: one row per hostile phrase and archive (an
// archive of -1 stands for every archive); the body "bomb" is gzipBomb().
bool errorReply(const std::string& hostile, ArchiveKind kind, ArchiveReply& reply) {
    struct Canned {
        const char* hostile;
        int kind;
        int status;
        const char* retryAfter;
        const char* contentType;
        const char* encoding;
        const char* body;
    };
    constexpr const char* Json = "application/json";
    // A type the server's own compression leaves alone: these bodies are compressed already.
    constexpr const char* Packed = "application/json; charset=utf-8";
    static const Canned replies[] = {
        {"apierror", int(ArchiveKind::Openverse), 401, "", Json, "",
         R"({"detail":"Authentication credentials were not provided."})"},
        {"apierror", int(ArchiveKind::Commons), 200, "", Json, "",
         R"({"error":{"code":"badvalue","info":"Unrecognized value for parameter &quot;gsrnamespace&quot;."}})"},
        {"apierror", int(ArchiveKind::SearXNG), 500, "", "text/html", "",
         "<html><body>Internal Server Error</body></html>"},
        {"maxlag", int(ArchiveKind::Commons), 200, "1", Json, "",
         R"({"error":{"code":"maxlag","info":"Waiting for db1: 7 seconds lagged.","lag":7}})"},
        {"maxlag", -1, 429, "3600", Json, "",
         R"({"detail":"Request was throttled. Expected available in 3600 seconds."})"},
        {"bomb", -1, 200, "", Packed, "gzip", "bomb"},
        {"badgzip", -1, 200, "", Packed, "gzip", "\x1f\x8b this is not what it claims to be"},
    };
    for (const Canned& c : replies) {
        if (hostile != c.hostile || (c.kind != -1 && c.kind != int(kind))) continue;
        reply.status = c.status;
        reply.retryAfter = c.retryAfter;
        reply.contentType = c.contentType;
        reply.contentEncoding = c.encoding;
        reply.body = std::string(c.body) == "bomb" ? gzipBomb() : c.body;
        return true;
    }
    return false;
}

// One picture that all three archives list, Commons and SearXNG at its address and Openverse
// at a rendition of it, each with its own credit; and a picture of Openverse's alone whose
// plain-text title holds what looks like markup.
std::vector<ArchiveItem> mergeItems(const Web& web, ArchiveKind kind) {
    const std::string file = "a/ab/Harbour_merge.jpg";
    ArchiveItem shared;
    shared.url = siteUrl(web, "wikipedia/commons/" + file);
    shared.file = shared.url;
    shared.landing = siteUrl(web, "archive/commons/Harbour_merge.htm");
    shared.title = "Harbour merge";
    shared.width = 2400;
    shared.height = 1600;
    std::vector<ArchiveItem> items;
    if (kind == ArchiveKind::Commons) {
        shared.creator = "Photo: Ann; Edit: Bob";
        shared.creatorAsSent = "<ul><li>Photo: Ann</li><li>Edit:&nbsp;Bob</li></ul>";
        shared.licenceCode = "by-sa";
        shared.licenceVersion = "4.0";
        shared.licenceName = "CC BY-SA 4.0";
        shared.licenceUrl = "https://creativecommons.org/licenses/by-sa/4.0/";
    } else if (kind == ArchiveKind::Openverse) {
        shared.url = shared.file =
            siteUrl(web, "wikipedia/commons/thumb/" + file + "/640px-Harbour_merge.jpg");
        shared.landing = siteUrl(web, "archive/openverse/Harbour_merge.htm");
        shared.creator = "ann_uploads";
        shared.licenceCode = "by-sa";
        shared.licenceVersion = "2.0";
        shared.licenceName = "CC BY-SA 2.0";
        shared.licenceUrl = "https://creativecommons.org/licenses/by-sa/2.0/";
        ArchiveItem own;
        own.index = 1;
        own.url = own.file = siteUrl(web, "archive/openverse/sunsets.jpg");
        own.landing = siteUrl(web, "archive/openverse/sunsets.htm");
        own.title = "I <3 sunsets, Zo\xc3\xab & a < b > c";
        own.titleAsSent = "I <3 sunsets, Zo&euml; &amp; a < b > c";
        own.creator = "Zo\xc3\xab";
        own.licenceCode = "sampling+";
        own.licenceName = "CC Sampling+ 1.0";
        own.licenceUrl = "https://creativecommons.org/licenses/sampling+/1.0/";
        items.push_back(shared);
        items.push_back(own);
        return items;
    } else {
        shared.landing = siteUrl(web, "archive/searxng/Harbour_merge.htm");
    }
    items.push_back(shared);
    return items;
}

} // namespace

std::string gzipped(const std::string& bytes) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = uInt(bytes.size());
    std::string out;
    char chunk[65536];
    int result = Z_OK;
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        result = deflate(&z, Z_FINISH);
        out.append(chunk, sizeof chunk - z.avail_out);
    }
    deflateEnd(&z);
    return out;
}

int64_t announcedSize(const ArchiveItem& item, ArchiveKind kind, int64_t bytes) {
    if (kind == ArchiveKind::SearXNG || !item.jpeg) return 0;
    return kind == ArchiveKind::Commons || item.index % 2 == 0 ? bytes : 0;
}

std::vector<ArchiveItem> archiveItems(const Web& web, ArchiveKind kind) {
    const int count = kind == ArchiveKind::Openverse ? kOpenverseItems
                      : kind == ArchiveKind::Commons ? kCommonsItems
                                                     : kSearXNGItems;
    const std::string folder = kindFolder(kind);
    std::vector<ArchiveItem> items;
    if (hostility(web) == "engines" && kind == ArchiveKind::SearXNG) return items;
    for (int i = 0; i < count; ++i) {
        const uint64_t pick = stableHash(folder + std::to_string(i), web.seed ^ stableHash(web.phrase));
        const Licence& licence = kLicences[pick % std::size(kLicences)];
        ArchiveItem item;
        item.jpeg = i % 8 != 7; // every eighth is a PNG the program must not list
        item.index = i;
        const std::string name = folder + "-" + std::to_string(i + 1);
        item.url = siteUrl(web, "archive/" + folder + "/" + name + (item.jpeg ? ".jpg" : ".png"));
        item.landing = siteUrl(web, "archive/" + folder + "/" + name + ".htm");
        item.file = item.url;
        item.title = web.phrase + " " + std::to_string(i + 1);
        item.creator = kCreators[(pick >> 8) % std::size(kCreators)];
        item.licenceCode = licence.code;
        item.licenceVersion = licence.version;
        item.licenceName = licence.name;
        item.licenceUrl = licence.url;
        item.width = 640 + (i % 4) * 600;
        if (kind != ArchiveKind::SearXNG) item.creatorUrl = "https://people.example/" + name;
        if (hostility(web) == "shapes") shape(item, kind);
        if (hostility(web) == "moved" && kind == ArchiveKind::Openverse && i % 3 == 1) {
            item.url = siteUrl(web, "archive/" + folder + "/" + name + "-moved.jpg");
            item.movedToPng = true;
        }
        items.push_back(std::move(item));
    }
    if (hostility(web) == "merge") return mergeItems(web, kind);
    return items;
}

int archiveDelayMs(const Web& web, ArchiveKind kind) {
    if (hostility(web) != "merge") return 0;
    return kind == ArchiveKind::Commons ? 1500 : kind == ArchiveKind::Openverse ? 700 : 0;
}

void buildArchives(Web& web) {
    for (const ArchiveKind kind : {ArchiveKind::Openverse, ArchiveKind::Commons, ArchiveKind::SearXNG}) {
        for (const ArchiveItem& item : archiveItems(web, kind)) {
            if (!item.jpeg) continue;
            PageBuilder landing(web, item.landing, item.title);
            if (item.movedToPng) {
                const std::string other = item.url.substr(0, item.url.rfind("-moved")) + ".gif";
                landing.picture(other, SizeClass::Medium, Answer::Picture, PictureFormat::Gif);
                Resource relocation;
                relocation.answer = Answer::Relocation;
                relocation.target = other;
                web.sites[normalizePath(urlPath(item.url))] = relocation;
                landing.finish();
                continue;
            }
            landing.picture(item.file, SizeClass::Medium);
            landing.line("<h1>" + htmlText(item.title) + "</h1>");
            landing.line("<p>By " + htmlText(item.creator) + ", " + htmlText(item.licenceName) +
                         "</p>");
            landing.finish();
        }
    }
}

ArchiveReply archiveReply(const Web& web, ArchiveKind kind, int64_t position, bool resuming,
                          const std::function<int64_t(const ArchiveItem&)>& sizeOf) {
    ArchiveReply reply;
    const std::string hostile = hostility(web);
    if (hostile == "engines" && kind == ArchiveKind::SearXNG) {
        reply.body = R"({"query":"x","results":[],"unresponsive_engines":[["bing images","HTTP error"],)"
                     R"(["google images","timeout"],["qwant images","CAPTCHA"],)"
                     R"(["yahoo images","too many requests"]]})";
        return reply;
    }
    const std::vector<ArchiveItem> all = archiveItems(web, kind);
    if (hostile == "429" || hostile == "429long") {
        reply.status = 429;
        reply.retryAfter = hostile == "429" ? "1" : "60";
        reply.body = "{\"detail\":\"Request was throttled.\"}";
        return reply;
    }
    if (hostile == "403") {
        reply.status = 403;
        reply.contentType = "text/html";
        reply.body = "<html><body><h1>403 Forbidden</h1></body></html>";
        return reply;
    }
    if (errorReply(hostile, kind, reply)) return reply;
    if (hostile == "deep") {
        reply.body = std::string(5000, '[') + std::string(5000, ']');
        return reply;
    }
    if (hostile == "huge") {
        reply.body = "{\"results\":[\"" + std::string(10 * 1024 * 1024, 'x') + "\"]}";
        return reply;
    }
    if (hostile == "notjson") {
        reply.contentType = "text/html";
        reply.body = "<html><body><p>Search is down for maintenance.</p></body></html>";
        return reply;
    }
    if (hostile == "odd") {
        reply.body = oddAnswer(kind, all.front(), sizeOf(all.front()));
        return reply;
    }
    const int page = kind == ArchiveKind::Commons ? int(position / kArchivePageSize)
                                                  : int(std::max<int64_t>(position, 1) - 1);
    const int pages = hostile == "endless"
                          ? kEndlessPages
                          : int((all.size() + kArchivePageSize - 1) / kArchivePageSize);
    std::vector<ArchiveItem> shown = pageItems(all, page, hostile);
    if (hostile == "types") // only the PNGs and one JPEG, every one listed as it is
        shown.erase(std::remove_if(shown.begin() + 1, shown.end(),
                                   [](const ArchiveItem& i) { return i.jpeg; }),
                    shown.end());
    QJsonObject root;
    QJsonArray results;
    if (kind == ArchiveKind::Commons) {
        // "-batch" answers each page in two parts: file details for the first half of the
        // results, then, asked again with the continuation, for the rest.
        const bool split = hostile == "batch";
        QJsonObject pagesObject;
        int index = int(position);
        for (size_t i = 0; i < shown.size(); ++i) {
            const ArchiveItem& item = shown[i];
            ++index;
            QJsonObject entry = commonsPage(web, item, index,
                                            item.jpeg ? announcedSize(item, kind, sizeOf(item)) : 4096);
            if (split && (i < shown.size() / 2) == resuming) entry.remove(QStringLiteral("imageinfo"));
            pagesObject[QString::number(100000 + stableHash(item.url) % 900000)] = entry;
        }
        if (!shown.empty()) root[QStringLiteral("query")] = QJsonObject{{QStringLiteral("pages"), pagesObject}};
        if (split && !resuming) {
            root[QStringLiteral("continue")] =
                QJsonObject{{QStringLiteral("iicontinue"), QStringLiteral("Half|20260101")},
                            {QStringLiteral("gsroffset"), number(web, double(position))},
                            {QStringLiteral("continue"), QStringLiteral("gsroffset||")}};
        } else {
            root[QStringLiteral("batchcomplete")] = QString();
            if (page + 1 < pages)
                root[QStringLiteral("continue")] =
                    QJsonObject{{QStringLiteral("gsroffset"),
                                 hostile == "endless" ? QJsonValue(double(position + kArchivePageSize))
                                                      : number(web, double((page + 1) * kArchivePageSize))},
                                {QStringLiteral("continue"), QStringLiteral("gsroffset||")}};
        }
    } else {
        for (const ArchiveItem& item : shown)
            results.append(kind == ArchiveKind::Openverse
                               ? openverseResult(web, item, announcedSize(item, kind, sizeOf(item)))
                               : searxngResult(item));
        root[QStringLiteral("results")] = results;
        if (kind == ArchiveKind::Openverse) {
            root[QStringLiteral("page_count")] = number(web, pages);
            root[QStringLiteral("page")] = page + 1;
            root[QStringLiteral("result_count")] = int(all.size());
        } else {
            root[QStringLiteral("query")] = QString::fromStdString(web.phrase);
        }
    }
    reply.body = QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
    return reply;
}

std::string archiveListing(const Web& web) {
    const std::pair<ArchiveKind, const char*> kinds[] = {{ArchiveKind::Openverse, "Openverse"},
                                                         {ArchiveKind::Commons, "Wikimedia Commons"},
                                                         {ArchiveKind::SearXNG, "SearXNG"}};
    struct Find {
        const char* service;
        ArchiveKind kind;
        ArchiveItem item;
    };
    // Finds of one picture, by its Commons file name or its address.
    std::map<std::string, std::vector<Find>> pictures;
    for (const auto& [kind, service] : kinds) {
        for (const ArchiveItem& item : archiveItems(web, kind)) {
            if (!item.jpeg || item.movedToPng) continue;
            std::string key = item.url;
            if (const size_t at = key.find("/wikipedia/commons/"); at != std::string::npos) {
                std::string path = key.substr(at + 19); // "[thumb/]a/ab/Name.jpg[/640px-Name.jpg]"
                if (path.compare(0, 6, "thumb/") == 0) path.erase(0, 6);
                const size_t name = path.find('/', path.find('/') + 1) + 1;
                key = path.substr(name, path.find('/', name) - name);
            }
            pictures[key].push_back({service, kind, item});
        }
    }
    std::map<std::string, std::string> lines;
    for (const auto& [key, finds] : pictures) {
        const bool commonsFile = finds.front().item.url.find("/wikipedia/commons/") != std::string::npos;
        const auto rank = [commonsFile](const Find& f) {
            const bool licensed = f.kind != ArchiveKind::SearXNG && !f.item.licenceName.empty();
            return (licensed ? 4 : 0) + (commonsFile && f.kind == ArchiveKind::Commons ? 2 : 0);
        };
        const Find* credited = &finds.front();
        const Find* listedAt = &finds.front();
        for (const Find& f : finds) {
            if (rank(f) > rank(*credited)) credited = &f;
            if (listedAt->item.url.find("/thumb/") != std::string::npos) listedAt = &f;
        }
        QJsonArray services{QString::fromLatin1(credited->service)};
        for (const Find& f : finds)
            if (&f != credited) services.append(QString::fromLatin1(f.service));
        const ArchiveItem& item = credited->item;
        const bool searxng = credited->kind == ArchiveKind::SearXNG;
        QJsonObject o{{QStringLiteral("service"), QString::fromLatin1(credited->service)},
                      {QStringLiteral("services"), services},
                      {QStringLiteral("url"), jsonText(listedAt->item.url)},
                      {QStringLiteral("page"), jsonText(item.landing)},
                      {QStringLiteral("title"), jsonText(item.title)},
                      {QStringLiteral("creator"), jsonText(searxng ? "" : item.creator)},
                      {QStringLiteral("creator_url"), jsonText(searxng ? "" : item.creatorUrl)},
                      {QStringLiteral("licence"), jsonText(searxng ? "" : item.licenceName)},
                      {QStringLiteral("provider"), QString()},
                      {QStringLiteral("source"), QString()},
                      {QStringLiteral("width"), item.width},
                      {QStringLiteral("height"), item.height}};
        lines[listedAt->item.url] = QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
    }
    std::string text;
    for (const auto& [url, line] : lines)
        text += line + "\n";
    return text;
}

} // namespace lumi::sandbox
