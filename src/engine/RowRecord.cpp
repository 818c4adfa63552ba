#include "engine/RowRecord.h"

#include <algorithm>
#include <charconv>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "engine/PictureMerge.h"
#include "engine/SearchEngine.h"

namespace lumi {

std::string rowJsonLine(const SearchEngine& engine, size_t row) {
    const ResultsModel::Row& r = engine.results().row(row);
    const PictureSource& s = r.source;
    // Addresses are 8-bit text: bytes above 127 become the characters of the same code.
    const std::string& url = engine.FoundList[row];
    const auto text = [](const std::string& utf8) { return QJsonValue(QString::fromStdString(utf8)); };
    int64_t size = 0;
    const char* end = r.sizeText.data() + r.sizeText.size();
    const bool sized = std::from_chars(r.sizeText.data(), end, size).ptr == end && size > 0;
    QJsonObject object{
        {QStringLiteral("service"), text(serviceName(s.service))},
        {QStringLiteral("url"), QString::fromLatin1(url.data(), static_cast<qsizetype>(url.size()))},
        {QStringLiteral("size"), sized ? QJsonValue(static_cast<double>(size)) : QJsonValue()},
        {QStringLiteral("page"), text(s.page)},
        {QStringLiteral("title"), text(s.title)},
        {QStringLiteral("creator"), text(s.creator)},
        {QStringLiteral("licence"), text(s.licence)},
        {QStringLiteral("licence_url"), text(s.licenceUrl)},
        {QStringLiteral("creator_url"), text(s.creatorUrl)},
        {QStringLiteral("provider"), text(s.provider)},
        {QStringLiteral("source"), text(s.collection)},
    };
    const bool measured = s.width > 0 && s.height > 0;
    object.insert(QStringLiteral("width"), measured ? QJsonValue(s.width) : QJsonValue());
    object.insert(QStringLiteral("height"), measured ? QJsonValue(s.height) : QJsonValue());
    QJsonArray services;
    for (const ServiceId finder : findersOf(s))
        services.append(text(serviceName(finder)));
    object.insert(QStringLiteral("services"), services);
    // The archive's own small picture, for a front end that shows thumbnails; only when sent.
    if (!s.thumbnail.empty())
        object.insert(QStringLiteral("thumbnail"),
                      QString::fromLatin1(s.thumbnail.data(), qsizetype(s.thumbnail.size())));
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

bool rowFromJsonLine(std::string_view line, std::string& url, PictureSource& source) {
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
    if (!document.isObject()) return false;
    const QJsonObject o = document.object();
    const auto text = [&o](const char* key) {
        return o.value(QLatin1String(key)).toString().toStdString();
    };
    // The address was written as 8-bit text, one character per byte.
    const QString address = o.value(QLatin1String("url")).toString();
    const bool latin1 = std::all_of(address.begin(), address.end(),
                                    [](QChar c) { return c.unicode() <= 0xFF; });
    url = address.toLatin1().toStdString();
    if (!latin1 || !(url.starts_with("http://") || url.starts_with("https://"))) return false;
    source = PictureSource{};
    const std::string service = text("service");
    for (size_t i = 0; i < ServiceCount; ++i)
        if (service == serviceName(static_cast<ServiceId>(i))) source.service = static_cast<ServiceId>(i);
    source.page = text("page");
    source.title = text("title");
    source.creator = text("creator");
    source.licence = text("licence");
    source.licenceUrl = text("licence_url");
    source.creatorUrl = text("creator_url");
    source.provider = text("provider");
    source.collection = text("source");
    const auto pixels = [&o](const char* key) {
        const double value = o.value(QLatin1String(key)).toDouble();
        return value >= 1 && value < 1.0e6 ? static_cast<int32_t>(value) : 0;
    };
    source.width = pixels("width");
    source.height = pixels("height");
    return true;
}

} // namespace lumi
