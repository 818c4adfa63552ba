#pragma once
// 8-bit text becomes QString only where it is shown: one character per byte (Latin-1).
// Lines that carry a service's own words are UTF-8: shownText takes them as such.
#include <string>

#include <QString>
#include <QStringDecoder>

namespace lumi {

inline QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// UTF-8 when the text is valid UTF-8 (ASCII is), else Latin-1: a status or diagnostics line
// may hold a service's words or a page's 8-bit address.
inline QString shownText(const std::string& text) {
    QStringDecoder fromUtf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded =
        fromUtf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return fromUtf8.hasError() ? latin1(text) : decoded;
}

} // namespace lumi
