// Wikimedia Commons (no key), through MediaWiki's API: a search of the File namespace whose
// pages carry their image's address, size, type and the licence metadata of its file page.
// Wikimedia refuses agents that do not name the program; a lagging database answers
// "maxlag", to be waited out as a 429.
#include <algorithm>
#include <utility>

#include <QJsonArray>
#include <QJsonObject>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveFields.h"
#include "analysis/ArchiveService.h"
#include "analysis/HtmlText.h"

namespace lumi {

namespace {

std::string searchUrl(const std::string& base, const std::string& query, int64_t position) {
    return base +
           "/w/api.php?action=query&format=json&generator=search&gsrnamespace=6"
           "&gsrsearch=filetype%3Abitmap+" +
           query + "&gsrlimit=20&gsroffset=" + std::to_string(position) +
           "&prop=imageinfo&iiprop=url%7Csize%7Cmime%7Cextmetadata&iiurlwidth=320";
}

// Commons keys its result pages by page id; "index" gives the search's order.
void readPages(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    const QJsonValue query = root.value(QLatin1String("query"));
    if (!query.isObject() && !root.contains(QLatin1String("batchcomplete"))) return;
    answer.understood = true;
    std::vector<std::pair<double, ArchivePicture>> ordered;
    const QJsonObject pages = query.toObject().value(QLatin1String("pages")).toObject();
    for (auto it = pages.begin(); it != pages.end(); ++it) {
        ++answer.results;
        const QJsonObject page = it.value().toObject();
        const QJsonObject info =
            page.value(QLatin1String("imageinfo")).toArray().at(0).toObject();
        if (stringField(info, "mime") != "image/jpeg") continue;
        ArchivePicture picture;
        picture.url = addressField(info, "url");
        if (picture.url.empty()) continue;
        picture.size = sizeField(info, "size");
        const QJsonObject meta = info.value(QLatin1String("extmetadata")).toObject();
        const auto metaText = [&meta](const char* key) {
            return stringField(meta.value(QLatin1String(key)).toObject(), "value");
        };
        picture.source.service = ServiceId::Commons;
        picture.source.page = addressField(info, "descriptionurl");
        picture.source.title = pictureTitle(textField(page, "title"));
        picture.source.creator = plainTextOfHtml(metaText("Artist"));
        picture.source.licence = plainTextOfHtml(metaText("LicenseShortName"));
        picture.source.licenceUrl =
            pictureAddress(QString::fromStdString(plainTextOfHtml(metaText("LicenseUrl"))));
        picture.source.thumbnail = addressField(info, "thumburl");
        ordered.emplace_back(page.value(QLatin1String("index")).toDouble(), std::move(picture));
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : ordered)
        answer.pictures.push_back(std::move(entry.second));
    const QJsonValue offset =
        root.value(QLatin1String("continue")).toObject().value(QLatin1String("gsroffset"));
    if (offset.isDouble() && offset.toDouble() > static_cast<double>(position) &&
        offset.toDouble() < 1.0e9)
        answer.next = static_cast<int64_t>(offset.toDouble());
}

} // namespace

extern const ArchiveService commonsService{
    .id = ServiceId::Commons,
    .name = "Wikimedia Commons",
    .checkBoxText = "&Wikimedia Commons",
    .setting = {"Services", "Commons", true, "Services: \"Wikimedia Commons\""},
    .baseVariable = "LUMISIFT_COMMONS_URL",
    .publicBase = "https://commons.wikimedia.org",
    .firstPosition = 0,
    .searchUrl = searchUrl,
    .read = readPages,
};

} // namespace lumi
