#pragma once
// 8-bit text becomes QString only where it is shown: one character per byte (Latin-1).
#include <string>

#include <QString>

namespace lumi {

inline QString latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace lumi
