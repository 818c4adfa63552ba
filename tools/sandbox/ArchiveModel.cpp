#include "ArchiveModel.h"

#include <algorithm>
#include <map>

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

QJsonObject openverseResult(const ArchiveItem& item, int64_t size) {
    QJsonObject r;
    r[QStringLiteral("url")] = jsonText(item.url);
    r[QStringLiteral("foreign_landing_url")] = jsonText(item.landing);
    r[QStringLiteral("title")] = jsonText(item.title);
    r[QStringLiteral("creator")] = jsonText(item.creator);
    r[QStringLiteral("license")] = jsonText(item.licenceCode);
    r[QStringLiteral("license_version")] = jsonText(item.licenceVersion);
    r[QStringLiteral("license_url")] = jsonText(item.licenceUrl);
    r[QStringLiteral("filetype")] = QString::fromLatin1(item.jpeg ? "jpg" : "png");
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
        value("<a href=\"https://commons.example/wiki/User:x\">" + item.creator + "</a>");
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
    r[QStringLiteral("title")] = jsonText(item.title);
    r[QStringLiteral("resolution")] = QStringLiteral("640 x 480");
    r[QStringLiteral("img_format")] = QString::fromLatin1(item.jpeg ? "JPEG" : "PNG");
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

} // namespace

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
        item.title = web.phrase + " " + std::to_string(i + 1);
        item.creator = kCreators[(pick >> 8) % std::size(kCreators)];
        item.licenceCode = licence.code;
        item.licenceVersion = licence.version;
        item.licenceName = licence.name;
        item.licenceUrl = licence.url;
        items.push_back(std::move(item));
    }
    return items;
}

void buildArchives(Web& web) {
    for (const ArchiveKind kind : {ArchiveKind::Openverse, ArchiveKind::Commons, ArchiveKind::SearXNG}) {
        for (const ArchiveItem& item : archiveItems(web, kind)) {
            if (!item.jpeg) continue;
            PageBuilder landing(web, item.landing, item.title);
            landing.picture(item.url.substr(item.url.rfind('/') + 1), SizeClass::Medium);
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
