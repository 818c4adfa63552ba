// The archives whose search names items rather than pictures (the Met's objects): the ids of
// a search are kept, one result page of them is fetched at a time through the item fetches,
// and every item's answer hands its picture on as a result page's pictures are. The next
// page is asked when the last item of a page is in, while the page budget lasts; ids past
// the pages asked are never fetched.
#include "engine/SearchEngine.h"

#include <algorithm>

#include "analysis/ArchiveService.h"
#include "base/ErrorReport.h"
#include "base/ProxySetting.h"
#include "engine/ArchiveHeaders.h"
#include "engine/ArchiveItemFetches.h"
#include "engine/PageBuffer.h"
#include "engine/ProxyUse.h"
#include "net/ConnectionPool.h"
#include "net/HttpFailure.h"
#include "net/HttpProt.h"

namespace lumi {

ArchiveItemFetches* SearchEngine::makeItemFetches() {
    return new ArchiveItemFetches(
        [this](ServiceId service, THttpCli& client) {
            useProxy(client, proxyFromSettings(SettingsFile));
            useArchiveHeaders(client, MaxArchiveDecodedBytes);
            client.ExtraHeaders = archiveHeaderLines(service);
            if (connections_) connections_->prepare(client);
        },
        [this](ServiceId service, THttpCli& client, const CappedBuffer& body, int error) {
            catchAll("error code : #0039 (GetPageRequestDone)",
                     [&] { itemAnswerDone(service, client, body, error); });
        },
        MaxArchiveAnswerBytes, this);
}

void SearchEngine::takeItemIds(ServiceId service, std::vector<std::string> ids) {
    ArchiveRun& run = archiveRuns_[static_cast<size_t>(service)];
    run.itemIds = std::move(ids);
    run.itemsAsked = 0;
    askItemPage(service);
}

void SearchEngine::askItemPage(ServiceId service) {
    const ArchiveService& archive = *archiveService(service);
    ArchiveRun& run = archiveRuns_[static_cast<size_t>(service)];
    const size_t end = std::min(run.itemIds.size(), run.itemsAsked + archive.itemsPerPage);
    for (; run.itemsAsked < end; ++run.itemsAsked) {
        itemFetches_->add(service, archive.itemUrl(run.base, run.itemIds[run.itemsAsked]));
        ++health_[service].itemsAsked;
    }
}

void SearchEngine::itemAnswerDone(ServiceId service, THttpCli& client, const CappedBuffer& body,
                                  int error) {
    if (connections_) connections_->recycle(client);
    ServiceCounts& counts = health_[service];
    const int status = error == 0 ? client.StatusCode() : 0;
    ArchiveAnswer answer;
    if (status != 0 && body.droppedBytes() == 0) answer = readArchiveItem(service, body.bytes());
    if (status == 200 && answer.understood) {
        ++counts.itemsRead;
        for (ArchivePicture& picture : answer.pictures)
            archiveHandOffs_.push_back(std::move(picture));
        handOnArchivePictures();
    } else if (counts.itemsAsked - counts.itemsRead == 1) { // the first that failed is said
        std::string why = status == 0 ? "no answer: " + requestFailureText(client, error)
                          : status != 200 ? "answered with status " + std::to_string(status)
                                          : "the answer is not the expected JSON";
        if (!answer.message.empty()) why += "; the service says \"" + answer.message + "\"";
        appendDiagnosticsLine(std::string(serviceName(service)) + ": " + client.URL + ": " + why);
    }
    if (itemFetches_->pending(service) > 0) return;
    ArchiveRun& run = archiveRuns_[static_cast<size_t>(service)];
    if (++run.pagesRead < serviceChoice_.maxPages) askItemPage(service);
}

} // namespace lumi
