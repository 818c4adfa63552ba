#include "engine/SearchPhrase.h"

#include <QList>
#include <QString>

#include "base/TextOps.h"

namespace lumi {

std::string phraseFromUnicode(const QString& typed) {
    std::string phrase;
    phrase.reserve(static_cast<std::size_t>(typed.size()));
    for (const uint c : typed.toUcs4()) {
        if (c <= 0xFF)
            phrase += static_cast<char>(c);
        else
            phrase += "&#" + std::to_string(c) + ';';
    }
    return phrase;
}

std::string archivePhraseFromUnicode(const QString& typed) {
    return typed.normalized(QString::NormalizationForm_C).toStdString();
}

bool phraseCanSearch(std::string_view phrase) {
    return phrase.size() <= MaxPhraseLength && !textTrim(phrase).empty();
}

} // namespace lumi
