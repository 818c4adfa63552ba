// NASA's Image and Video Library (no key), asked for images only. Its answer is a
// Collection+JSON document: each item's data[0] describes the image, its links hold the
// preview (the thumbnail), and the item's assets share the preview's folder and name:
// "<id>~thumb.jpg" beside "<id>~orig.jpg", the picture as it was published. NASA's media are
// free to use under its media guidelines.
#include <QJsonArray>
#include <QJsonObject>
#include <QUrl>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveFields.h"
#include "analysis/ArchiveService.h"

namespace lumi {

namespace {

std::string searchUrl(const std::string& base, const std::string& query, int64_t position, const std::string&,
                      LicenceFilter) {
    return base + "/search?q=" + query + "&media_type=image&page=" + std::to_string(position) +
           "&page_size=20";
}

// The address of the first link with that relation, or "".
std::string linkOf(const QJsonValue& links, const char* relation) {
    for (const QJsonValue& link : links.toArray())
        if (stringField(link.toObject(), "rel") == relation)
            return addressField(link.toObject(), "href");
    return {};
}

// The original beside the preview, or "" when the preview is not named as the assets are.
std::string originalOf(const std::string& preview) {
    static const std::string thumb = "~thumb.jpg";
    if (preview.size() <= thumb.size() || preview.find_first_of("?#") != std::string::npos ||
        preview.compare(preview.size() - thumb.size(), thumb.size(), thumb) != 0)
        return {};
    return preview.substr(0, preview.size() - thumb.size()) + "~orig.jpg";
}

void readCollection(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    const QJsonObject collection = root.value(QLatin1String("collection")).toObject();
    const QJsonValue items = collection.value(QLatin1String("items"));
    if (!items.isArray()) return;
    answer.understood = true;
    for (const QJsonValue& entry : items.toArray()) {
        ++answer.results;
        const QJsonObject item = entry.toObject();
        const QJsonObject data = item.value(QLatin1String("data")).toArray().at(0).toObject();
        const QString id = data.value(QLatin1String("nasa_id")).toString();
        const std::string type = stringField(data, "media_type");
        if (id.isEmpty() || (!type.empty() && type != "image")) continue;
        ArchivePicture picture;
        picture.source.thumbnail = linkOf(item.value(QLatin1String("links")), "preview");
        picture.url = originalOf(picture.source.thumbnail);
        if (picture.url.empty()) continue;
        picture.source.service = ServiceId::NasaImages;
        picture.source.page =
            "https://images.nasa.gov/details/" + QUrl::toPercentEncoding(id).toStdString();
        picture.source.title = textField(data, "title");
        picture.source.creator = textField(data, "photographer");
        if (picture.source.creator.empty()) picture.source.creator = textField(data, "center");
        answer.pictures.push_back(std::move(picture));
    }
    for (const QJsonValue& link : collection.value(QLatin1String("links")).toArray())
        if (stringField(link.toObject(), "rel") == "next") answer.next = position + 1;
}

} // namespace

extern const ArchiveService nasaImagesService{
    .id = ServiceId::NasaImages,
    .name = "NASA Images",
    .checkBoxText = "NASA Image and &Video Library",
    .setting = {"Services", "NasaImages", true, "Services: \"NASA Image and Video Library\""},
    .baseVariable = "LUMISIFT_NASA_URL",
    .publicBase = "https://images-api.nasa.gov",
    .firstPosition = 1,
    .licence = "Public domain (NASA media guidelines)",
    .licenceCode = "pd",
    .licenceUrl = "https://www.nasa.gov/nasa-brand-center/images-and-media/",
    .searchUrl = searchUrl,
    .read = readCollection,
};

} // namespace lumi
