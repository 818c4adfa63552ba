// The Metropolitan Museum of Art's open access collection (no key). Its search answers with
// object ids only ({"total": N, "objectIDs": [...]}, all of them at once); every object is
// then asked on its own (objects/ID), a result page of ids at a time. Only public-domain
// objects carry their images, which the museum dedicates to the public domain (CC0).
#include <QJsonArray>
#include <QJsonObject>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveFields.h"
#include "analysis/ArchiveService.h"

namespace lumi {

namespace {

constexpr size_t MetItemsPerPage = 20;
// Ids kept of one search: the most result pages a search asks of an archive. The rest
// would never be asked for.
constexpr size_t MaxMetIds = 20 * MetItemsPerPage;

std::string searchUrl(const std::string& base, const std::string& query, int64_t, const std::string&,
                      LicenceFilter) {
    return base + "/search?hasImages=true&q=" + query;
}

std::string objectUrl(const std::string& base, const std::string& id) {
    return base + "/objects/" + id;
}

// A search that finds nothing answers {"total": 0, "objectIDs": null}.
std::vector<std::string> readObjectIds(const QJsonObject& root, bool& understood) {
    const QJsonValue ids = root.value(QLatin1String("objectIDs"));
    understood = root.value(QLatin1String("total")).isDouble() &&
                 (ids.isArray() || ids.isNull());
    std::vector<std::string> kept;
    if (!understood) return kept;
    for (const QJsonValue& id : ids.toArray()) {
        const double number = id.toDouble(-1);
        if (number < 1 || number > 1.0e12 || number != static_cast<double>(static_cast<int64_t>(number)))
            continue;
        kept.push_back(std::to_string(static_cast<int64_t>(number)));
        if (kept.size() == MaxMetIds) break;
    }
    return kept;
}

// One object: a picture only when the object is in the public domain and has an image.
void readObject(const QJsonObject& root, int64_t, ArchiveAnswer& answer) {
    if (!root.value(QLatin1String("objectID")).isDouble()) return;
    answer.understood = true;
    answer.results = 1;
    if (root.value(QLatin1String("isPublicDomain")).toBool() != true) return;
    ArchivePicture picture;
    picture.url = addressField(root, "primaryImage");
    if (picture.url.empty()) return;
    picture.typeUnknown = !endsAsJpeg(picture.url);
    picture.source.service = ServiceId::MetMuseum;
    picture.source.page = addressField(root, "objectURL");
    picture.source.title = textField(root, "title");
    picture.source.creator = textField(root, "artistDisplayName");
    picture.source.thumbnail = addressField(root, "primaryImageSmall");
    answer.pictures.push_back(std::move(picture));
}

} // namespace

extern const ArchiveService metMuseumService{
    .id = ServiceId::MetMuseum,
    .name = "The Met",
    .checkBoxText = "The M&et",
    .setting = {"Services", "MetMuseum", true, "Services: \"The Met\""},
    .baseVariable = "LUMISIFT_MET_URL",
    .publicBase = "https://collectionapi.metmuseum.org/public/collection/v1",
    .firstPosition = 1,
    .licence = "Public domain (CC0)",
    .licenceCode = "cc0",
    .licenceUrl = "https://creativecommons.org/publicdomain/zero/1.0/",
    .searchUrl = searchUrl,
    .read = readObject,
    .readItemIds = readObjectIds,
    .itemUrl = objectUrl,
    .itemsPerPage = MetItemsPerPage,
};

} // namespace lumi
