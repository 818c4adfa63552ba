// The Art Institute of Chicago's API (no key). Its search is asked for public-domain
// artworks only, with the fields read here; a picture is the museum's IIIF image at the
// width it recommends (843 pixels), the landing page the artwork's page on its web site.
// The API asks callers to name themselves in an AIC-User-Agent header.
#include <QJsonArray>
#include <QJsonObject>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveFields.h"
#include "analysis/ArchiveService.h"
#include "analysis/HtmlText.h"

namespace lumi {

namespace {

constexpr int64_t ArtInstitutePageSize = 20;
// The search gives no record past the 10 000th, whatever the page.
constexpr int64_t ArtInstituteMaxRecords = 10000;

std::string searchUrl(const std::string& base, const std::string& query, int64_t position, const std::string&,
                      LicenceFilter) {
    return base + "/artworks/search?q=" + query +
           "&query%5Bterm%5D%5Bis_public_domain%5D=true"
           "&fields=id,title,image_id,artist_display,is_public_domain,thumbnail,credit_line"
           "&limit=" +
           std::to_string(ArtInstitutePageSize) + "&page=" + std::to_string(position);
}

std::vector<std::string> headerLines(const std::string& agent) {
    return {"AIC-User-Agent: " + agent};
}

// Image ids are UUIDs; anything else could step out of the image's path.
bool soundImageId(const std::string& id) {
    if (id.empty() || id.size() > 64) return false;
    for (const char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-'))
            return false;
    return true;
}

// "Vincent van Gogh\nDutch, 1853-1890": the name is the first line.
std::string artistName(const QJsonObject& artwork) {
    const std::string display = stringField(artwork, "artist_display");
    return htmlFieldText(display.substr(0, display.find('\n')));
}

std::string withoutTrailingSlash(std::string address) {
    while (!address.empty() && address.back() == '/')
        address.pop_back();
    return address;
}

void readArtworks(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    const QJsonValue data = root.value(QLatin1String("data"));
    if (!data.isArray()) return;
    answer.understood = true;
    const QJsonObject config = root.value(QLatin1String("config")).toObject();
    const std::string iiif = withoutTrailingSlash(addressField(config, "iiif_url"));
    std::string site = withoutTrailingSlash(addressField(config, "website_url"));
    if (site.empty()) site = "https://www.artic.edu";
    for (const QJsonValue& item : data.toArray()) {
        ++answer.results;
        const QJsonObject artwork = item.toObject();
        const std::string imageId = stringField(artwork, "image_id");
        const int64_t id = sizeField(artwork, "id");
        if (iiif.empty() || id == 0 || !soundImageId(imageId) ||
            artwork.value(QLatin1String("is_public_domain")).toBool() != true)
            continue;
        ArchivePicture picture;
        picture.url = iiif + "/" + imageId + "/full/843,/0/default.jpg";
        picture.source.service = ServiceId::ArtInstitute;
        picture.source.page = site + "/artworks/" + std::to_string(id);
        picture.source.title = textField(artwork, "title");
        picture.source.creator = artistName(artwork);
        picture.source.thumbnail = iiif + "/" + imageId + "/full/200,/0/default.jpg";
        answer.pictures.push_back(std::move(picture));
    }
    const QJsonValue pages =
        root.value(QLatin1String("pagination")).toObject().value(QLatin1String("total_pages"));
    if (pages.isDouble() && static_cast<double>(position) < pages.toDouble() &&
        (position + 1) * ArtInstitutePageSize <= ArtInstituteMaxRecords)
        answer.next = position + 1;
}

} // namespace

extern const ArchiveService artInstituteService{
    .id = ServiceId::ArtInstitute,
    .name = "Art Institute of Chicago",
    .checkBoxText = "&Art Institute of Chicago",
    .setting = {"Services", "ArtInstitute", true, "Services: \"Art Institute of Chicago\""},
    .baseVariable = "LUMISIFT_AIC_URL",
    .publicBase = "https://api.artic.edu/api/v1",
    .firstPosition = 1,
    .licence = "Public domain (CC0)",
    .licenceCode = "cc0",
    .licenceUrl = "https://creativecommons.org/publicdomain/zero/1.0/",
    .searchUrl = searchUrl,
    .headerLines = headerLines,
    .read = readArtworks,
};

} // namespace lumi
