#include "engine/ArchiveItemFetches.h"

#include <algorithm>

#include <QTimer>

#include "engine/PageBuffer.h"
#include "engine/RunningLines.h"
#include "net/HttpProt.h"

namespace lumi {

ArchiveItemFetches::ArchiveItemFetches(Prepare prepare, Done done, int64_t maxAnswerBytes,
                                       QObject* parent)
    : QObject(parent), prepare_(std::move(prepare)), done_(std::move(done)),
      maxAnswerBytes_(maxAnswerBytes) {}

ArchiveItemFetches::~ArchiveItemFetches() {
    clear();
}

void ArchiveItemFetches::add(ServiceId service, const std::string& url) {
    waiting_.push_back({service, url});
    startWaiting();
}

void ArchiveItemFetches::clear() {
    waiting_.clear();
    // Moved out first: an abort may report back while the list is being emptied.
    std::vector<Fetch> stopping = std::move(running_);
    running_.clear();
    for (Fetch& fetch : stopping) {
        fetch.client->OnRequestDone = nullptr;
        fetch.client->Abort();
    }
}

size_t ArchiveItemFetches::pending(ServiceId service) const {
    const auto ofService = [service](const auto& entry) { return entry.service == service; };
    return static_cast<size_t>(std::count_if(waiting_.begin(), waiting_.end(), ofService) +
                               std::count_if(running_.begin(), running_.end(), ofService));
}

void ArchiveItemFetches::startWaiting() {
    while (running_.size() < MaxRunning && !waiting_.empty()) {
        const Item item = std::move(waiting_.front());
        waiting_.pop_front();
        Fetch fetch{item.service, std::make_unique<CappedBuffer>(maxAnswerBytes_),
                    std::make_unique<THttpCli>(), std::make_unique<QTimer>()};
        THttpCli& client = *fetch.client;
        client.URL = item.url;
        client.RcvdStream = fetch.buffer.get();
        client.OnRequestDone = [this](THttpCli* sender, THttpRequest, int error) {
            finished(sender, error);
        };
        fetch.deadline->setSingleShot(true);
        fetch.deadline->setInterval(static_cast<int>(RunningTimeoutMs));
        QObject::connect(fetch.deadline.get(), &QTimer::timeout, this, [&client] { client.Abort(); });
        prepare_(item.service, client);
        running_.push_back(std::move(fetch));
        try {
            client.StartGet();
            running_.back().deadline->start();
        } catch (const std::exception&) {
            // An address the client refuses (no host, an unknown scheme) ends as a failure.
            finished(&client, -1);
        }
    }
}

void ArchiveItemFetches::finished(THttpCli* sender, int error) {
    const auto it = std::find_if(running_.begin(), running_.end(),
                                 [sender](const Fetch& f) { return f.client.get() == sender; });
    if (it == running_.end()) return;
    // Kept alive past the handler (the sender is deleted here, as its contract allows).
    Fetch fetch = std::move(*it);
    running_.erase(it);
    fetch.deadline->stop();
    done_(fetch.service, *fetch.client, *fetch.buffer, error);
    startWaiting();
}

} // namespace lumi
