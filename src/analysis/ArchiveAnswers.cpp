#include "analysis/ArchiveAnswers.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "analysis/ArchiveFields.h"
#include "analysis/ArchiveService.h"

namespace lumi {

namespace {

constexpr size_t MaxServiceMessageBytes = 300;

// The services' own words beside an error: MediaWiki's {"error": {"code", "info"}} (sent with
// status 200; "maxlag" asks the caller to wait as a 429 does), {"detail": "..."} of Openverse
// and the Art Institute, NASA's {"reason": "..."} and the Met's {"message": "..."}.
void readServiceMessage(const QJsonObject& root, ArchiveAnswer& answer) {
    const QJsonObject error = root.value(QLatin1String("error")).toObject();
    answer.message = textField(error, "info");
    answer.lagged = stringField(error, "code") == "maxlag";
    for (const char* key : {"detail", "reason", "message"})
        if (answer.message.empty()) answer.message = textField(root, key);
    // A diagnostics line, not a page: a long message is cut at a character's start.
    if (answer.message.size() > MaxServiceMessageBytes) {
        size_t cut = MaxServiceMessageBytes;
        while (cut > 0 && (static_cast<unsigned char>(answer.message[cut]) & 0xC0) == 0x80)
            --cut;
        answer.message.resize(cut);
        answer.message += "...";
    }
}

// Parses body and reads it with read; the collection's licence goes to every picture that
// names none of its own.
template <class Read>
ArchiveAnswer readAnswer(const ArchiveService& service, std::string_view body, Read read) {
    ArchiveAnswer answer;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(body.data(), static_cast<qsizetype>(body.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return answer;
    const QJsonObject root = document.object();
    readServiceMessage(root, answer);
    read(root, answer);
    if (!answer.understood) { // only the service's message is kept
        answer.pictures.clear();
        answer.itemIds.clear();
        answer.results = 0;
        answer.next = 0;
        answer.continuation.clear();
    }
    for (ArchivePicture& picture : answer.pictures)
        if (picture.source.licence.empty()) {
            picture.source.licence = service.licence;
            picture.source.licenceCode = service.licenceCode;
            picture.source.licenceUrl = service.licenceUrl;
        }
    return answer;
}

} // namespace

ArchiveAnswer readArchiveAnswer(ServiceId service, std::string_view body, int64_t position) {
    const ArchiveService* archive = archiveService(service);
    if (!archive) return {};
    return readAnswer(*archive, body, [&](const QJsonObject& root, ArchiveAnswer& answer) {
        if (!archive->readItemIds) return archive->read(root, position, answer);
        answer.itemIds = archive->readItemIds(root, answer.understood);
        answer.results = answer.itemIds.size();
    });
}

ArchiveAnswer readArchiveItem(ServiceId service, std::string_view body) {
    const ArchiveService* archive = archiveService(service);
    if (!archive || !archive->readItemIds) return {};
    return readAnswer(*archive, body, [&](const QJsonObject& root, ArchiveAnswer& answer) {
        archive->read(root, 0, answer);
    });
}

} // namespace lumi
