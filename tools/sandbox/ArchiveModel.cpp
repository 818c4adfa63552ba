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
};
const char* const kCreators[] = {"Ada Lindqvist", "Bruno Okafor", "Chen Wei", "Dana Ruiz",
                                 "Émile Durand"};

QJsonValue jsonText(const std::string& text) {
    return QJsonValue(QString::fromStdString(text));
}

std::string hostility(const Web& web) {
    return web.phrase.compare(0, 8, "hostile-") == 0 ? web.phrase.substr(8) : std::string();
}

// Text as an archive's HTML field may carry it: in a tag, with named and numeric entities.
std::string asHtml(const std::string& text) {
    std::string html = "<b>";
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
    return html + "</b>";
}

std::string fieldText(const ArchiveItem& item, const std::string& text) {
    return item.htmlFields ? asHtml(text) : text;
}

// The type field as the item sets it, else the picture's own.
void putType(QJsonObject& r, const char* key, const ArchiveItem& item, const char* jpeg,
             const char* png) {
    if (item.typeField == "none") return;
    r[QLatin1String(key)] = item.typeField.empty() ? QString::fromLatin1(item.jpeg ? jpeg : png)
                                                   : QString::fromStdString(item.typeField);
}

QJsonObject openverseResult(const ArchiveItem& item, int64_t size) {
    QJsonObject r;
    r[QStringLiteral("url")] = jsonText(item.url);
    r[QStringLiteral("foreign_landing_url")] = jsonText(item.landing);
    r[QStringLiteral("title")] =
        jsonText(item.commonsTitle ? "File:" + item.title + ".jpg" : fieldText(item, item.title));
    r[QStringLiteral("creator")] = jsonText(fieldText(item, item.creator));
    r[QStringLiteral("license")] = jsonText(item.licenceCode);
    r[QStringLiteral("license_version")] = jsonText(item.licenceVersion);
    r[QStringLiteral("license_url")] = jsonText(item.licenceUrl);
    putType(r, "filetype", item, "jpg", "png");
    r[QStringLiteral("filesize")] = size > 0 ? QJsonValue(double(size)) : QJsonValue();
    r[QStringLiteral("width")] = 640;
    r[QStringLiteral("height")] = 480;
    return r;
}

QJsonObject commonsPage(const ArchiveItem& item, int index, int64_t size) {
    QJsonObject meta;
    const auto value = [](const std::string& text) {
        QJsonObject v;
        v[QStringLiteral("value")] = jsonText(text);
        return v;
    };
    meta[QStringLiteral("LicenseShortName")] = value(item.licenceName);
    meta[QStringLiteral("Artist")] =
        value("<a href=\"https://commons.example/wiki/User:x\">" + fieldText(item, item.creator) +
              "</a>");
    meta[QStringLiteral("LicenseUrl")] = value(item.licenceUrl);
    QJsonObject info;
    info[QStringLiteral("url")] = jsonText(item.url);
    info[QStringLiteral("descriptionurl")] = jsonText(item.landing);
    info[QStringLiteral("size")] = double(size);
    info[QStringLiteral("mime")] = QString::fromLatin1(item.jpeg ? "image/jpeg" : "image/png");
    info[QStringLiteral("extmetadata")] = meta;
    QJsonObject page;
    page[QStringLiteral("ns")] = 6;
    page[QStringLiteral("index")] = index;
    page[QStringLiteral("title")] = jsonText("File:" + item.title + (item.jpeg ? ".jpg" : ".png"));
    page[QStringLiteral("imageinfo")] = QJsonArray{info};
    return page;
}

QJsonObject searxngResult(const ArchiveItem& item) {
    QJsonObject r;
    r[QStringLiteral("img_src")] = jsonText(item.url);
    r[QStringLiteral("url")] = jsonText(item.landing);
    r[QStringLiteral("title")] = jsonText(fieldText(item, item.title));
    r[QStringLiteral("resolution")] = QStringLiteral("640 x 480");
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
                          {QStringLiteral("1"), commonsPage(sound, 1, size)}};
        root[QStringLiteral("query")] = QJsonObject{{QStringLiteral("pages"), pages}};
        root[QStringLiteral("continue")] =
            QJsonObject{{QStringLiteral("gsroffset"), QStringLiteral("ten")}};
    } else {
        QJsonArray results = odd;
        results.append(kind == ArchiveKind::Openverse ? openverseResult(sound, size)
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
        if (hostility(web) == "shapes") shape(item, kind);
        items.push_back(std::move(item));
    }
    return items;
}

void buildArchives(Web& web) {
    for (const ArchiveKind kind : {ArchiveKind::Openverse, ArchiveKind::Commons, ArchiveKind::SearXNG}) {
        for (const ArchiveItem& item : archiveItems(web, kind)) {
            if (!item.jpeg) continue;
            PageBuilder landing(web, item.landing, item.title);
            landing.picture(item.file.substr(item.file.rfind('/') + 1), SizeClass::Medium);
            landing.line("<h1>" + htmlText(item.title) + "</h1>");
            landing.line("<p>By " + htmlText(item.creator) + ", " + htmlText(item.licenceName) +
                         "</p>");
            landing.finish();
        }
    }
}

ArchiveReply archiveReply(const Web& web, ArchiveKind kind, int64_t position,
                          const std::function<int64_t(const ArchiveItem&)>& sizeOf) {
    ArchiveReply reply;
    const std::string hostile = hostility(web);
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
        QJsonObject pagesObject;
        int index = int(position);
        for (const ArchiveItem& item : shown) {
            ++index;
            pagesObject[QString::number(100000 + stableHash(item.url) % 900000)] =
                commonsPage(item, index, item.jpeg ? announcedSize(item, kind, sizeOf(item)) : 4096);
        }
        root[QStringLiteral("batchcomplete")] = QString();
        if (!shown.empty()) root[QStringLiteral("query")] = QJsonObject{{QStringLiteral("pages"), pagesObject}};
        if (page + 1 < pages)
            root[QStringLiteral("continue")] =
                QJsonObject{{QStringLiteral("gsroffset"),
                             hostile == "endless" ? double(position + kArchivePageSize)
                                                  : double((page + 1) * kArchivePageSize)},
                            {QStringLiteral("continue"), QStringLiteral("gsroffset||")}};
    } else {
        for (const ArchiveItem& item : shown)
            results.append(kind == ArchiveKind::Openverse
                               ? openverseResult(item, announcedSize(item, kind, sizeOf(item)))
                               : searxngResult(item));
        root[QStringLiteral("results")] = results;
        if (kind == ArchiveKind::Openverse) {
            root[QStringLiteral("page_count")] = pages;
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
    std::map<std::string, std::string> lines;
    for (const auto& [kind, service] : kinds) {
        for (const ArchiveItem& item : archiveItems(web, kind)) {
            if (!item.jpeg) continue;
            const bool searxng = kind == ArchiveKind::SearXNG;
            QJsonObject o{{QStringLiteral("service"), QString::fromLatin1(service)},
                          {QStringLiteral("url"), jsonText(item.url)},
                          {QStringLiteral("page"), jsonText(item.landing)},
                          {QStringLiteral("title"), jsonText(item.title)},
                          {QStringLiteral("creator"), jsonText(searxng ? "" : item.creator)},
                          {QStringLiteral("licence"), jsonText(searxng ? "" : item.licenceName)}};
            lines[item.url] = QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
        }
    }
    std::string text;
    for (const auto& [url, line] : lines)
        text += line + "\n";
    return text;
}

} // namespace lumi::sandbox
