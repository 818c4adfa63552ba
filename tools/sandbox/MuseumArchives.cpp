#include "MuseumArchives.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "analysis/ArchiveService.h"

#include "PhraseToken.h"
#include "SitePages.h"

namespace lumi::sandbox {

namespace {

// More Met objects than three result pages of 20 take: the last ones must never be asked.
constexpr int kMetObjects = 70, kArtworks = 25, kNasaItems = 25;
// The objects one result page of the program asks for.
constexpr size_t kMetPageSize = 20;

const char* const kArtists[] = {"Mary Cassatt", "Katsushika Hokusai", "Rosa Bonheur",
                                "Winslow Homer", "Élisabeth Vigée Le Brun"};
const char* const kCenters[] = {"JSC", "KSC", "GSFC", "JPL"};

QJsonValue text(const std::string& value) {
    return QJsonValue(QString::fromStdString(value));
}

std::string compact(const QJsonObject& root) {
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

std::string hostility(const Web& web) {
    return web.phrase.compare(0, 8, "hostile-") == 0 ? web.phrase.substr(8) : std::string();
}

// An image id as the Art Institute writes them: a UUID.
std::string imageUuid(uint64_t hash) {
    char id[40];
    std::snprintf(id, sizeof id, "%08x-%04x-%04x-%04x-%012llx", unsigned(hash >> 32),
                  unsigned(hash >> 16) & 0xffffu, unsigned(hash) & 0xffffu,
                  unsigned(hash >> 48) & 0xffffu, static_cast<unsigned long long>(hash & 0xffffffffffffull));
    return id;
}

MuseumItem metItem(const Web& web, int i, uint64_t pick) {
    MuseumItem item;
    item.id = std::to_string(100000 + (pick % 800000));
    item.title = web.phrase + " " + std::to_string(i + 1);
    // Some objects name no artist (a culture made them); every fifth is still in copyright.
    item.creator = i % 7 == 3 ? "" : kArtists[(pick >> 8) % std::size(kArtists)];
    item.listed = i % 5 != 4;
    const std::string name = "archive/met/met-" + std::to_string(i + 1);
    item.picture = item.listed ? siteUrl(web, name + ".jpg") : "";
    item.thumbnail = item.listed ? siteUrl(web, name + "-small.jpg") : "";
    item.landing = siteUrl(web, name + ".htm");
    return item;
}

MuseumItem artwork(const Web& web, int i, uint64_t pick) {
    MuseumItem item;
    item.id = std::to_string(10000 + (pick % 90000));
    item.title = web.phrase + " " + std::to_string(i + 1);
    item.creator = kArtists[(pick >> 8) % std::size(kArtists)];
    // Every sixth is in copyright and every ninth has no image: neither is listed.
    item.listed = i % 6 != 5 && i % 9 != 8;
    const std::string iiif = siteUrl(web, "archive/aic/iiif/") + imageUuid(pick);
    item.picture = iiif + "/full/843,/0/default.jpg";
    item.thumbnail = iiif + "/full/200,/0/default.jpg";
    item.landing = siteUrl(web, "archive/aic/artworks/" + item.id);
    return item;
}

MuseumItem nasaItem(const Web& web, int i, uint64_t pick) {
    MuseumItem item;
    item.id = "SB-" + std::to_string(pick % 100000) + "-" + std::to_string(i + 1);
    item.title = web.phrase + " " + std::to_string(i + 1);
    // Without a photographer the centre that published the image is named.
    item.creator = i % 3 == 2 ? kCenters[pick % std::size(kCenters)]
                              : kArtists[(pick >> 8) % std::size(kArtists)];
    const std::string folder = siteUrl(web, "archive/nasa/image/" + item.id + "/" + item.id);
    item.picture = folder + "~orig.jpg";
    item.thumbnail = folder + "~thumb.jpg";
    item.landing = "https://images.nasa.gov/details/" + item.id;
    return item;
}

// NASA items carry a photographer or, without one, their centre; the model keeps which.
bool isCenter(const std::string& creator) {
    for (const char* center : kCenters)
        if (creator == center) return true;
    return false;
}

QJsonObject metObject(const MuseumItem& item) {
    return {{QStringLiteral("objectID"), std::atof(item.id.c_str())},
            {QStringLiteral("isPublicDomain"), item.listed},
            {QStringLiteral("primaryImage"), text(item.picture)},
            {QStringLiteral("primaryImageSmall"), text(item.thumbnail)},
            {QStringLiteral("additionalImages"), QJsonArray{}},
            {QStringLiteral("title"), text(item.title)},
            {QStringLiteral("artistDisplayName"), text(item.creator)},
            {QStringLiteral("creditLine"), QStringLiteral("Bequest of the sandbox, 1999")},
            {QStringLiteral("objectURL"), text(item.landing)}};
}

ArchiveReply metSearch(const std::vector<MuseumItem>& items) {
    QJsonArray ids;
    for (const MuseumItem& item : items)
        ids.append(std::atof(item.id.c_str()));
    ArchiveReply reply;
    reply.body = compact({{QStringLiteral("total"), int(items.size())},
                          {QStringLiteral("objectIDs"), items.empty() ? QJsonValue() : QJsonValue(ids)}});
    return reply;
}

// The page and page size a target asks for, each with its default.
int64_t queryNumber(const std::string& target, const char* key, int64_t fallback) {
    const std::string value = rawQueryValue(target, key);
    const int64_t number = value.empty() ? fallback : std::atoll(value.c_str());
    return number > 0 ? number : fallback;
}

ArchiveReply artworksSearch(const Web& web, const std::vector<MuseumItem>& items,
                            const std::string& target) {
    const int64_t limit = std::min<int64_t>(queryNumber(target, "&limit=", 12), 100);
    const int64_t page = queryNumber(target, "&page=", 1);
    QJsonArray data;
    for (int64_t i = (page - 1) * limit; i < page * limit && i < int64_t(items.size()); ++i) {
        const MuseumItem& item = items[size_t(i)];
        const bool noImage = i % 9 == 8;
        const std::string imageId = item.picture.substr(item.picture.find("/iiif/") + 6, 36);
        data.append(QJsonObject{
            {QStringLiteral("_score"), 100.0 - double(i)},
            {QStringLiteral("id"), std::atof(item.id.c_str())},
            {QStringLiteral("title"), text(item.title)},
            {QStringLiteral("image_id"), noImage ? QJsonValue() : text(imageId)},
            {QStringLiteral("artist_display"), text(item.creator + "\nFrench, 1840-1926")},
            {QStringLiteral("is_public_domain"), i % 6 != 5},
            {QStringLiteral("thumbnail"),
             noImage ? QJsonValue()
                     : QJsonObject{{QStringLiteral("lqip"), QStringLiteral("data:image/gif;base64,R0lGODlhBQAFAPQAAA==")},
                                   {QStringLiteral("width"), 3000},
                                   {QStringLiteral("height"), 2250},
                                   {QStringLiteral("alt_text"), text(item.title)}}},
            {QStringLiteral("credit_line"), QStringLiteral("Mr. and Mrs. Sandbox Collection")}});
    }
    const int64_t total = int64_t(items.size());
    QJsonObject pagination{{QStringLiteral("total"), double(total)},
                           {QStringLiteral("limit"), double(limit)},
                           {QStringLiteral("offset"), double((page - 1) * limit)},
                           {QStringLiteral("total_pages"), double((total + limit - 1) / limit)},
                           {QStringLiteral("current_page"), double(page)}};
    ArchiveReply reply;
    reply.body = compact(
        {{QStringLiteral("preference"), QJsonValue()},
         {QStringLiteral("pagination"), pagination},
         {QStringLiteral("data"), data},
         {QStringLiteral("info"),
          QJsonObject{{QStringLiteral("license_text"), QStringLiteral("CC0 1.0, as the museum's")}}},
         {QStringLiteral("config"),
          QJsonObject{{QStringLiteral("iiif_url"), text(siteUrl(web, "archive/aic/iiif"))},
                      {QStringLiteral("website_url"), text(siteUrl(web, "archive/aic"))}}}});
    return reply;
}

ArchiveReply nasaSearch(const Web& web, const std::vector<MuseumItem>& items, const std::string& target) {
    const int64_t size = std::min<int64_t>(queryNumber(target, "&page_size=", 100), 100);
    const int64_t page = queryNumber(target, "&page=", 1);
    QJsonArray entries;
    for (int64_t i = (page - 1) * size; i < page * size && i < int64_t(items.size()); ++i) {
        const MuseumItem& item = items[size_t(i)];
        QJsonObject data{{QStringLiteral("center"), QStringLiteral("JSC")},
                         {QStringLiteral("title"), text(item.title)},
                         {QStringLiteral("nasa_id"), text(item.id)},
                         {QStringLiteral("media_type"), QStringLiteral("image")},
                         {QStringLiteral("date_created"), QStringLiteral("1999-07-20T00:00:00Z")}};
        if (isCenter(item.creator))
            data[QStringLiteral("center")] = text(item.creator);
        else
            data[QStringLiteral("photographer")] = text(item.creator);
        entries.append(QJsonObject{
            {QStringLiteral("href"), text(item.picture.substr(0, item.picture.rfind('/')) + "/collection.json")},
            {QStringLiteral("data"), QJsonArray{data}},
            {QStringLiteral("links"),
             QJsonArray{QJsonObject{{QStringLiteral("href"), text(item.thumbnail)},
                                    {QStringLiteral("rel"), QStringLiteral("preview")},
                                    {QStringLiteral("render"), QStringLiteral("image")}}}}});
    }
    QJsonArray links;
    if (page * size < int64_t(items.size()))
        links.append(QJsonObject{{QStringLiteral("rel"), QStringLiteral("next")},
                                 {QStringLiteral("prompt"), QStringLiteral("Next")},
                                 {QStringLiteral("href"),
                                  text(web.hosts.scheme + web.hosts.services + "/nasa/search?q=" +
                                       rawQueryValue(target, "?q=") + "&media_type=image&page=" +
                                       std::to_string(page + 1))}});
    ArchiveReply reply;
    reply.body = compact({{QStringLiteral("collection"),
                           QJsonObject{{QStringLiteral("version"), QStringLiteral("1.0")},
                                       {QStringLiteral("items"), entries},
                                       {QStringLiteral("metadata"),
                                        QJsonObject{{QStringLiteral("total_hits"), int(items.size())}}},
                                       {QStringLiteral("links"), links}}}});
    return reply;
}

// Each API's error in its own form: the Met's web firewall refuses with a page, the Art
// Institute and NASA say why in JSON.
ArchiveReply apiError(Museum museum) {
    ArchiveReply reply;
    if (museum == Museum::Met) {
        reply.status = 403;
        reply.contentType = "text/html";
        reply.body = "<html><body><h1>Request unsuccessful.</h1></body></html>";
    } else if (museum == Museum::ArtInstitute) {
        reply.status = 403;
        reply.body = R"({"status":403,"error":"Invalid number of results","detail":"You have requested too many results. Please refine your parameters."})";
    } else {
        reply.status = 400;
        reply.body = R"({"reason":"Invalid page_size: must be a positive integer"})";
    }
    return reply;
}

// The program's name and licence of the collection, as its list of archives has them.
void stamp(MuseumItem& item, Museum museum) {
    const ServiceId id = museum == Museum::Met            ? ServiceId::MetMuseum
                         : museum == Museum::ArtInstitute ? ServiceId::ArtInstitute
                                                          : ServiceId::NasaImages;
    item.service = archiveService(id)->name;
    item.licence = archiveService(id)->licence;
}

} // namespace

std::vector<MuseumItem> museumItems(const Web& web, Museum museum) {
    const int count = museum == Museum::Met ? kMetObjects : museum == Museum::ArtInstitute ? kArtworks : kNasaItems;
    std::vector<MuseumItem> items;
    if (hostility(web) == "empty") return items;
    for (int i = 0; i < count; ++i) {
        const uint64_t pick = stableHash("museum" + std::to_string(int(museum)) + "-" + std::to_string(i),
                                         web.seed ^ stableHash(web.phrase));
        items.push_back(museum == Museum::Met            ? metItem(web, i, pick)
                        : museum == Museum::ArtInstitute ? artwork(web, i, pick)
                                                         : nasaItem(web, i, pick));
        stamp(items.back(), museum);
    }
    return items;
}

void buildMuseums(Web& web) {
    for (const Museum museum : {Museum::Met, Museum::ArtInstitute, Museum::Nasa}) {
        for (const MuseumItem& item : museumItems(web, museum)) {
            if (!item.listed) continue;
            // NASA's landing pages are its own site's; its pictures hang in their folder's page.
            const bool landingHere = item.landing.find("/w/" + web.token + "/") != std::string::npos;
            PageBuilder page(web,
                             landingHere ? item.landing
                                         : item.picture.substr(0, item.picture.rfind('/') + 1) + "index.htm",
                             item.title);
            page.picture(item.picture, SizeClass::Medium);
            page.picture(item.thumbnail, SizeClass::Small);
            page.line("<h1>" + htmlText(item.title) + "</h1>");
            page.finish();
        }
    }
}

bool museumSearchPath(const std::string& path, Museum& museum) {
    if (path == "/public/collection/v1/search") museum = Museum::Met;
    else if (path == "/api/v1/artworks/search") museum = Museum::ArtInstitute;
    else if (path == "/nasa/search") museum = Museum::Nasa;
    else return false;
    return true;
}

ArchiveReply museumSearchReply(const Web& web, Museum museum, const std::string& target) {
    if (hostility(web) == "apierror") return apiError(museum);
    const std::vector<MuseumItem> items = museumItems(web, museum);
    if (museum == Museum::Met) return metSearch(items);
    if (museum == Museum::ArtInstitute) return artworksSearch(web, items, target);
    return nasaSearch(web, items, target);
}

ArchiveReply metObjectReply(const Web& web, const std::string& id) {
    for (const MuseumItem& item : museumItems(web, Museum::Met)) {
        if (item.id != id) continue;
        ArchiveReply reply;
        reply.body = compact(metObject(item));
        return reply;
    }
    ArchiveReply missing;
    missing.status = 404;
    missing.body = R"({"message":"Not a valid object"})";
    return missing;
}

std::vector<MuseumItem> listedMuseumItems(const Web& web) {
    std::vector<MuseumItem> listed;
    for (const Museum museum : {Museum::Met, Museum::ArtInstitute, Museum::Nasa}) {
        const std::vector<MuseumItem> items = museumItems(web, museum);
        const size_t asked = museum == Museum::Met ? size_t(setting::MaxPages.fallback) * kMetPageSize
                                                   : items.size();
        for (size_t i = 0; i < items.size() && i < asked; ++i)
            if (items[i].listed) listed.push_back(items[i]);
    }
    return listed;
}

std::string museumListing(const Web& web) {
    std::map<std::string, std::string> lines;
    for (const MuseumItem& item : listedMuseumItems(web))
        lines[item.picture] = compact({{QStringLiteral("service"), text(item.service)},
                                       {QStringLiteral("services"), QJsonArray{text(item.service)}},
                                       {QStringLiteral("url"), text(item.picture)},
                                       {QStringLiteral("page"), text(item.landing)},
                                       {QStringLiteral("title"), text(item.title)},
                                       {QStringLiteral("creator"), text(item.creator)},
                                       {QStringLiteral("creator_url"), QString()},
                                       {QStringLiteral("licence"), text(item.licence)},
                                       {QStringLiteral("provider"), QString()},
                                       {QStringLiteral("source"), QString()},
                                       {QStringLiteral("thumbnail"), text(item.thumbnail)},
                                       // The collections name no size of their pictures.
                                       {QStringLiteral("width"), QJsonValue()},
                                       {QStringLiteral("height"), QJsonValue()}});
    std::string listing;
    for (const auto& [url, line] : lines)
        listing += line + "\n";
    return listing;
}

} // namespace lumi::sandbox
