#include "analysis/ArchiveAnswers.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QUrl>

#include "analysis/HtmlText.h"
#include "analysis/LicenceRights.h"
#include "base/TextOps.h"

namespace lumi {

namespace {

// UTF-8 of JSON text; a lone surrogate ("\ud800" in the answer) becomes U+FFFD.
std::string utf8(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (c.isSurrogate()) {
            text[i] = QChar(QChar::ReplacementCharacter);
        }
    }
    return text.toStdString();
}

std::string stringField(const QJsonObject& object, const char* key) {
    return utf8(object.value(QLatin1String(key)).toString());
}

// A number, whether the answer sends it as one or as text ("3"); NaN when it is neither.
double numberField(const QJsonValue& value) {
    if (value.isDouble()) return value.toDouble();
    if (!value.isString()) return std::numeric_limits<double>::quiet_NaN();
    bool ok = false;
    const double number = value.toString().trimmed().toDouble(&ok);
    return ok ? number : std::numeric_limits<double>::quiet_NaN();
}

// A byte count when the field is a whole number in range; 0 otherwise (null, words, -1 ...).
int64_t sizeField(const QJsonObject& object, const char* key) {
    const double bytes = numberField(object.value(QLatin1String(key)));
    return bytes >= 1 && bytes < 9.0e15 ? static_cast<int64_t>(bytes) : 0;
}

// Pixels when the field is a whole number of them in range; 0 otherwise.
int32_t pixelsField(const QJsonObject& object, const char* key) {
    const double pixels = numberField(object.value(QLatin1String(key)));
    return pixels >= 1 && pixels < 1.0e6 ? static_cast<int32_t>(pixels) : 0;
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

// A field documented as plain text, passed on with character references.
std::string textField(const QJsonObject& object, const char* key) {
    return plainFieldText(stringField(object, key));
}

std::string addressField(const QJsonObject& object, const char* key) {
    return pictureAddress(object.value(QLatin1String(key)).toString());
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
        PictureSource& s = picture.source;
        s.service = ServiceId::Openverse;
        s.page = addressField(r, "foreign_landing_url");
        s.title = pictureTitle(textField(r, "title"));
        s.creator = textField(r, "creator");
        s.licenceCode = stringField(r, "license");
        s.licence = licenceNameOfCode(s.licenceCode, stringField(r, "license_version"));
        s.licenceUrl = addressField(r, "license_url");
        s.thumbnail = addressField(r, "thumbnail");
        s.creatorUrl = addressField(r, "creator_url");
        s.provider = textField(r, "provider");
        s.collection = textField(r, "source");
        s.width = pixelsField(r, "width");
        s.height = pixelsField(r, "height");
        answer.pictures.push_back(std::move(picture));
    });
    // Compared as a number: a count like 1e300 does not fit a whole-number type.
    const double pages = numberField(root.value(QLatin1String("page_count")));
    if (static_cast<double>(position) < pages && position < OpenverseAnonymousPages)
        answer.next = position + 1;
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
void readCommons(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
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

// "640 x 480" (SearXNG's resolution) -> 640, 480; 0, 0 when it says no such thing.
void readResolution(const std::string& text, PictureSource& source) {
    const QStringList parts = QString::fromStdString(text).split(QLatin1Char('x'));
    if (parts.size() != 2) return;
    bool wide = false, high = false;
    const int width = parts[0].trimmed().toInt(&wide), height = parts[1].trimmed().toInt(&high);
    if (!wide || !high || width < 1 || height < 1 || width >= 1000000 || height >= 1000000) return;
    source.width = width;
    source.height = height;
}

// Engines named in SearXNG's answer: those of its results, and its "unresponsive_engines",
// pairs of the engine and why ("timeout", "HTTP error", "CAPTCHA").
constexpr size_t MaxEnginesNamed = 100;
void readEngines(const QJsonObject& root, ArchiveAnswer& answer) {
    const auto name = [&answer](const std::string& engine) {
        if (engine.empty() || answer.engines.size() >= MaxEnginesNamed) return;
        if (std::find(answer.engines.begin(), answer.engines.end(), engine) == answer.engines.end())
            answer.engines.push_back(engine);
    };
    for (const QJsonValue& item : root.value(QLatin1String("results")).toArray()) {
        const QJsonObject r = item.toObject();
        name(plainFieldText(stringField(r, "engine")));
        for (const QJsonValue& engine : r.value(QLatin1String("engines")).toArray())
            name(plainFieldText(utf8(engine.toString())));
    }
    for (const QJsonValue& item : root.value(QLatin1String("unresponsive_engines")).toArray()) {
        const QJsonArray pair = item.toArray();
        const std::string engine = plainFieldText(utf8(pair.at(0).toString()));
        if (engine.empty() || answer.failedEngines.size() >= MaxEnginesNamed) continue;
        std::string why = plainFieldText(utf8(pair.at(1).toString()));
        if (why.size() > 80) why.resize(80);
        name(engine);
        answer.failedEngines.emplace_back(engine, why);
    }
}

void readSearXNG(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    readResults(root, answer, [&answer](const QJsonObject& r) {
        ArchivePicture picture = jpegCandidate(r, "img_src", "img_format", true);
        if (picture.url.empty()) return;
        // A metasearch names no creator or licence: the page it links to must be asked.
        PictureSource& s = picture.source;
        s.service = ServiceId::SearXNG;
        s.page = addressField(r, "url");
        s.title = textField(r, "title");
        s.thumbnail = addressField(r, "thumbnail_src");
        readResolution(stringField(r, "resolution"), s);
        answer.pictures.push_back(std::move(picture));
    });
    if (answer.understood) readEngines(root, answer);
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
        answer.continuation.clear();
    }
    return answer;
}

} // namespace lumi
