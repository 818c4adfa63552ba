#include "analysis/ArchiveAnswers.h"

#include <algorithm>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include "analysis/HtmlText.h"
#include "base/TextOps.h"

namespace lumi {

namespace {

std::string utf8(const QString& text) {
    return text.toStdString();
}

std::string stringField(const QJsonObject& object, const char* key) {
    return utf8(object.value(QLatin1String(key)).toString());
}

// A byte count when the field is a whole number in range; 0 otherwise (null, text, -1 ...).
int64_t sizeField(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) return 0;
    const double bytes = value.toDouble();
    return bytes >= 1 && bytes < 9.0e15 ? static_cast<int64_t>(bytes) : 0;
}

// The address as the HTTP client sends it, or "" when it is no http(s) address.
// Protocol-relative addresses ("//host/x") are taken as https, as a browser would.
std::string pictureAddress(QString text) {
    if (text.startsWith(QLatin1String("//"))) text.prepend(QLatin1String("https:"));
    // Most addresses are plain ASCII already: taken as they stand, without QUrl's parse.
    const bool plain = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() > ' ' && c.unicode() < 0x7f && c != QLatin1Char('"') &&
               c != QLatin1Char('<') && c != QLatin1Char('>') && c != QLatin1Char('\\') &&
               c != QLatin1Char('#');
    });
    const qsizetype hostAt = text.startsWith(QLatin1String("http://"))    ? 7
                             : text.startsWith(QLatin1String("https://")) ? 8
                                                                          : -1;
    if (plain && hostAt > 0 && text.size() > hostAt && text[hostAt] != QLatin1Char('/'))
        return text.toLatin1().toStdString();
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty()) return {};
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) return {};
    const QByteArray encoded = url.toEncoded(QUrl::RemoveFragment);
    return encoded.toStdString();
}

bool endsAsJpeg(const std::string& url) {
    const std::string path = textLower(url.substr(0, url.find_first_of("?#")));
    const auto endsWith = [&](std::string_view suffix) {
        return path.size() >= suffix.size() &&
               path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return endsWith(".jpg") || endsWith(".jpeg") || endsWith(".jpe");
}

bool namesJpeg(const std::string& type) {
    const std::string lower = textLower(type);
    return textContains(lower, "jpeg") || textContains(lower, "jpg");
}

// "by-sa" and "2.0" -> "CC BY-SA 2.0"; the public-domain tools keep their own names.
std::string openverseLicence(const std::string& code, const std::string& version) {
    if (code.empty()) return {};
    std::string name;
    if (code == "cc0")
        name = "CC0";
    else if (code == "pdm")
        name = "Public Domain Mark";
    else {
        name = "CC ";
        for (const char c : code)
            name += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return version.empty() ? name : name + " " + version;
}

// A picture at r[urlKey] when r[typeKey] names a JPEG, or, without a type, when the path
// ends as one; when neither tells, the link check decides (typeUnknown). SearXNG's
// img_format names the thumbnail for some engines, so there a JPEG path wins over it.
// The url is "" when the item is no JPEG.
ArchivePicture jpegCandidate(const QJsonObject& r, const char* urlKey, const char* typeKey,
                             bool pathWins) {
    ArchivePicture picture;
    picture.url = pictureAddress(r.value(QLatin1String(urlKey)).toString());
    const std::string type = stringField(r, typeKey);
    if (picture.url.empty() || ((type.empty() || pathWins) && endsAsJpeg(picture.url)))
        return picture;
    if (type.empty())
        picture.typeUnknown = true;
    else if (!namesJpeg(type))
        picture.url.clear();
    return picture;
}

// Plain text of a field that may hold HTML and entities.
std::string textField(const QJsonObject& object, const char* key) {
    return plainTextOfHtml(stringField(object, key));
}

// "File:Name.jpg" names the picture "Name" (Commons' titles, and Openverse's of pictures
// that Commons holds).
std::string pictureTitle(std::string title) {
    if (title.compare(0, 5, "File:") != 0) return title;
    title.erase(0, 5);
    if (const size_t dot = title.rfind('.'); dot != std::string::npos && dot > 0) title.erase(dot);
    return title;
}

// Calls read for each entry of root's "results" array, counting them; an answer without
// that array is not understood.
template <class Read>
void readResults(const QJsonObject& root, ArchiveAnswer& answer, Read read) {
    const QJsonValue results = root.value(QLatin1String("results"));
    if (!results.isArray()) return;
    answer.understood = true;
    for (const QJsonValue& item : results.toArray()) {
        ++answer.results;
        read(item.toObject());
    }
}

void readOpenverse(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    readResults(root, answer, [&answer](const QJsonObject& r) {
        ArchivePicture picture = jpegCandidate(r, "url", "filetype", false);
        if (picture.url.empty()) return;
        picture.size = sizeField(r, "filesize");
        picture.source = {ServiceId::Openverse,
                          pictureAddress(r.value(QLatin1String("foreign_landing_url")).toString()),
                          pictureTitle(textField(r, "title")),
                          textField(r, "creator"),
                          openverseLicence(stringField(r, "license"), stringField(r, "license_version")),
                          pictureAddress(r.value(QLatin1String("license_url")).toString()),
                          pictureAddress(r.value(QLatin1String("thumbnail")).toString())};
        answer.pictures.push_back(std::move(picture));
    });
    // Compared as a number: a count like 1e300 does not fit a whole-number type.
    const QJsonValue pageCount = root.value(QLatin1String("page_count"));
    const double pages = pageCount.isDouble() ? pageCount.toDouble() : 0;
    if (static_cast<double>(position) < pages && position < OpenverseAnonymousPages)
        answer.next = position + 1;
}

// Commons keys its result pages by page id; "index" gives the search's order.
void readCommons(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
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
        picture.url = pictureAddress(info.value(QLatin1String("url")).toString());
        if (picture.url.empty()) continue;
        picture.size = sizeField(info, "size");
        const QJsonObject meta = info.value(QLatin1String("extmetadata")).toObject();
        const auto metaText = [&meta](const char* key) {
            return stringField(meta.value(QLatin1String(key)).toObject(), "value");
        };
        picture.source = {ServiceId::Commons,
                          pictureAddress(info.value(QLatin1String("descriptionurl")).toString()),
                          pictureTitle(textField(page, "title")),
                          plainTextOfHtml(metaText("Artist")),
                          plainTextOfHtml(metaText("LicenseShortName")),
                          pictureAddress(QString::fromStdString(plainTextOfHtml(metaText("LicenseUrl")))),
                          pictureAddress(info.value(QLatin1String("thumburl")).toString())};
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

void readSearXNG(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    readResults(root, answer, [&answer](const QJsonObject& r) {
        ArchivePicture picture = jpegCandidate(r, "img_src", "img_format", true);
        if (picture.url.empty()) return;
        // A metasearch names no creator or licence: the page it links to must be asked.
        picture.source = {ServiceId::SearXNG,
                          pictureAddress(r.value(QLatin1String("url")).toString()),
                          textField(r, "title"), "", "", "",
                          pictureAddress(r.value(QLatin1String("thumbnail_src")).toString())};
        answer.pictures.push_back(std::move(picture));
    });
    if (answer.results > 0) answer.next = position + 1;
}

constexpr size_t MaxServiceMessageBytes = 300;

// MediaWiki's {"error": {"code", "info"}} (sent with status 200; "maxlag" asks the caller to
// wait as a 429 does) and Openverse's {"detail": "..."} beside an error status.
void readServiceMessage(const QJsonObject& root, ArchiveAnswer& answer) {
    const QJsonObject error = root.value(QLatin1String("error")).toObject();
    answer.message = textField(error, "info");
    answer.lagged = stringField(error, "code") == "maxlag";
    if (answer.message.empty()) answer.message = textField(root, "detail");
    // A diagnostics line, not a page: a long message is cut at a character's start.
    if (answer.message.size() > MaxServiceMessageBytes) {
        size_t cut = MaxServiceMessageBytes;
        while (cut > 0 && (static_cast<unsigned char>(answer.message[cut]) & 0xC0) == 0x80)
            --cut;
        answer.message.resize(cut);
        answer.message += "...";
    }
}

} // namespace

ArchiveAnswer readArchiveAnswer(ServiceId service, std::string_view body, int64_t position) {
    ArchiveAnswer answer;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(body.data(), static_cast<qsizetype>(body.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return answer;
    const QJsonObject root = document.object();
    readServiceMessage(root, answer);
    switch (service) {
    case ServiceId::Openverse: readOpenverse(root, position, answer); break;
    case ServiceId::Commons: readCommons(root, position, answer); break;
    case ServiceId::SearXNG: readSearXNG(root, position, answer); break;
    default: break;
    }
    if (!answer.understood) { // only the service's message is kept
        answer.pictures.clear();
        answer.results = 0;
        answer.next = 0;
    }
    return answer;
}

} // namespace lumi
