#include "analysis/ArchiveFields.h"

#include <algorithm>
#include <limits>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QUrl>

#include "analysis/ArchiveAnswers.h"
#include "analysis/HtmlText.h"
#include "base/TextOps.h"

namespace lumi {

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

std::string textField(const QJsonObject& object, const char* key) {
    return plainFieldText(stringField(object, key));
}

double numberField(const QJsonValue& value) {
    if (value.isDouble()) return value.toDouble();
    if (!value.isString()) return std::numeric_limits<double>::quiet_NaN();
    bool ok = false;
    const double number = value.toString().trimmed().toDouble(&ok);
    return ok ? number : std::numeric_limits<double>::quiet_NaN();
}

int64_t sizeField(const QJsonObject& object, const char* key) {
    const double bytes = numberField(object.value(QLatin1String(key)));
    return bytes >= 1 && bytes < 9.0e15 ? static_cast<int64_t>(bytes) : 0;
}

int32_t pixelsField(const QJsonObject& object, const char* key) {
    const double pixels = numberField(object.value(QLatin1String(key)));
    return pixels >= 1 && pixels < 1.0e6 ? static_cast<int32_t>(pixels) : 0;
}

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

std::string addressField(const QJsonObject& object, const char* key) {
    return pictureAddress(object.value(QLatin1String(key)).toString());
}

bool endsAsJpeg(const std::string& url) {
    const std::string path = textLower(url.substr(0, url.find_first_of("?#")));
    const auto endsWith = [&](std::string_view suffix) {
        return path.size() >= suffix.size() &&
               path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return endsWith(".jpg") || endsWith(".jpeg") || endsWith(".jpe");
}

namespace {

bool namesJpeg(const std::string& type) {
    const std::string lower = textLower(type);
    return textContains(lower, "jpeg") || textContains(lower, "jpg");
}

} // namespace

ArchivePicture jpegCandidate(const QJsonObject& r, const char* urlKey, const char* typeKey,
                             bool pathWins) {
    ArchivePicture picture;
    picture.url = addressField(r, urlKey);
    const std::string type = stringField(r, typeKey);
    if (picture.url.empty() || ((type.empty() || pathWins) && endsAsJpeg(picture.url)))
        return picture;
    if (type.empty())
        picture.typeUnknown = true;
    else if (!namesJpeg(type))
        picture.url.clear();
    return picture;
}

std::string pictureTitle(std::string title) {
    if (title.compare(0, 5, "File:") != 0) return title;
    title.erase(0, 5);
    if (const size_t dot = title.rfind('.'); dot != std::string::npos && dot > 0) title.erase(dot);
    return title;
}

void readResults(const QJsonObject& root, ArchiveAnswer& answer,
                 const std::function<void(const QJsonObject&)>& read) {
    const QJsonValue results = root.value(QLatin1String("results"));
    if (!results.isArray()) return;
    answer.understood = true;
    for (const QJsonValue& item : results.toArray()) {
        ++answer.results;
        read(item.toObject());
    }
}

} // namespace lumi
