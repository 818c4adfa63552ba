// Wikimedia Commons (no key), through MediaWiki's API: a search of the File namespace whose
// pages carry their image's address, size, type and the licence metadata of its file page.
// Wikimedia refuses agents that do not name the program; a lagging database answers
// "maxlag", to be waited out as a 429.
#include <algorithm>
#include <utility>

#include <QJsonArray>
#include <QJsonObject>
#include <QUrl>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveFields.h"
#include "analysis/ArchiveService.h"
#include "analysis/HtmlText.h"

namespace lumi {

namespace {

// Results of one page; the search asks for JPEGs only, so none is spent on others.
constexpr int32_t CommonsPageSize = 50;

std::string searchUrl(const std::string& base, const std::string& query, int64_t position,
                      const std::string& continuation, LicenceFilter) {
    return base +
           "/w/api.php?action=query&format=json&generator=search&gsrnamespace=6"
           "&gsrsearch=filemime%3Aimage%2Fjpeg+" +
           query + "&gsrlimit=" + std::to_string(CommonsPageSize) +
           "&gsroffset=" + std::to_string(position) +
           "&prop=imageinfo&iiprop=url%7Csize%7Cmime%7Cextmetadata&iiurlwidth=320" + continuation;
}

// "&iicontinue=a%7Cb&continue=gsroffset%7C%7C": every member of Commons' "continue" but the
// offset, which the request carries as its position.
std::string continuationQuery(const QJsonObject& resume) {
    std::string query;
    for (auto it = resume.begin(); it != resume.end(); ++it) {
        if (it.key() == QLatin1String("gsroffset")) continue;
        const QString value = it.value().isDouble() ? QString::number(it.value().toDouble(), 'f', 0)
                                                    : it.value().toString();
        query += '&';
        query += QUrl::toPercentEncoding(it.key()).toStdString();
        query += '=';
        query += QUrl::toPercentEncoding(value).toStdString();
    }
    return query.size() <= MaxContinuationBytes ? query : std::string();
}

// Commons keys its result pages by page id; "index" gives the search's order. A batch that is
// not complete lists some pages without their file details: those come with the next request
// of the same batch.
void readPages(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    const QJsonValue query = root.value(QLatin1String("query"));
    const bool batchComplete = root.contains(QLatin1String("batchcomplete"));
    if (!query.isObject() && !batchComplete && !root.value(QLatin1String("continue")).isObject())
        return;
    answer.understood = true;
    std::vector<std::pair<double, ArchivePicture>> ordered;
    const QJsonObject pages = query.toObject().value(QLatin1String("pages")).toObject();
    for (auto it = pages.begin(); it != pages.end(); ++it) {
        const QJsonObject page = it.value().toObject();
        const QJsonValue infos = page.value(QLatin1String("imageinfo"));
        if (!infos.isArray()) continue; // its details come later in the batch
        ++answer.results;
        const QJsonObject info = infos.toArray().at(0).toObject();
        if (stringField(info, "mime") != "image/jpeg") continue;
        ArchivePicture picture;
        picture.url = addressField(info, "url");
        if (picture.url.empty()) continue;
        picture.size = sizeField(info, "size");
        const QJsonObject meta = info.value(QLatin1String("extmetadata")).toObject();
        const auto metaText = [&meta](const char* key) {
            return stringField(meta.value(QLatin1String(key)).toObject(), "value");
        };
        PictureSource& s = picture.source;
        s.service = ServiceId::Commons;
        s.page = addressField(info, "descriptionurl");
        s.title = pictureTitle(textField(page, "title"));
        std::string artistLink;
        s.creator = htmlFieldText(metaText("Artist"), &artistLink);
        s.creatorUrl = pictureAddress(QString::fromStdString(artistLink));
        s.licence = htmlFieldText(metaText("LicenseShortName"));
        s.licenceCode = htmlFieldText(metaText("License"));
        s.licenceUrl =
            pictureAddress(QString::fromStdString(htmlFieldText(metaText("LicenseUrl"))));
        s.thumbnail = addressField(info, "thumburl");
        s.width = pixelsField(info, "width");
        s.height = pixelsField(info, "height");
        ordered.emplace_back(numberField(page.value(QLatin1String("index"))), std::move(picture));
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& entry : ordered)
        answer.pictures.push_back(std::move(entry.second));
    const QJsonObject resume = root.value(QLatin1String("continue")).toObject();
    const double offset = numberField(resume.value(QLatin1String("gsroffset")));
    // A module's own continuation ("iicontinue") says the batch still lacks file details.
    bool unfinished = false;
    for (const QString& key : resume.keys())
        unfinished = unfinished || (key.endsWith(QLatin1String("continue")) &&
                                    key != QLatin1String("continue"));
    if (!batchComplete && unfinished) {
        // The same batch again, with the continuation as given.
        answer.continuation = continuationQuery(resume);
        if (!answer.continuation.empty())
            answer.next = offset >= 0 && offset < 1.0e9 ? static_cast<int64_t>(offset) : position;
        return;
    }
    if (offset > static_cast<double>(position) && offset < 1.0e9)
        answer.next = static_cast<int64_t>(offset);
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
