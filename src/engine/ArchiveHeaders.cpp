#include "engine/ArchiveHeaders.h"

#include <QLocale>

#include "engine/ServiceChoice.h"
#include "net/HttpProt.h"

namespace lumi {

std::string acceptLanguageFor(const QLocale& locale) {
    // uiLanguages gives the locale's own tag first ("de-DE"), then others ("de-Latn-DE",
    // "de"); tags with a script are left out, as browsers do, and each later one is weighed
    // a tenth less, down to 0.6.
    std::string header;
    int tenths = 10;
    bool english = false;
    for (const QString& tag : locale.uiLanguages()) {
        if (tag.isEmpty() || tag == QLatin1String("C") || tag.count(QLatin1Char('-')) > 1 ||
            tenths < 6)
            continue;
        english = english || tag == QLatin1String("en") || tag.startsWith(QLatin1String("en-"));
        header += header.empty() ? tag.toStdString()
                                 : ", " + tag.toStdString() + ";q=0." + std::to_string(tenths);
        --tenths;
    }
    if (header.empty()) return "en";
    if (!english) header += ", en;q=0." + std::to_string(tenths);
    return header;
}

void useArchiveHeaders(THttpCli& client, int64_t maxDecodedBytes) {
    client.Agent = archiveUserAgent();
    client.Accept = ArchiveAccept;
    client.AcceptLanguage = acceptLanguageFor(QLocale::system());
    client.AcceptEncoding = ArchiveAcceptEncoding;
    client.MaxDecodedBytes = maxDecodedBytes;
    client.KeepErrorBody = true; // Openverse says why it refused in the body
}

} // namespace lumi
