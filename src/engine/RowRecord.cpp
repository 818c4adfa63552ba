#include "engine/RowRecord.h"

#include <charconv>

#include <QJsonDocument>
#include <QJsonObject>

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
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace lumi
