#include "engine/ThumbnailFetches.h"

#include <algorithm>

#include <QElapsedTimer>
#include <QTimer>

#include "base/IniFiles.h"
#include "base/ProxySetting.h"
#include "base/SettingKeys.h"
#include "engine/FileTransfers.h"
#include "engine/ProxyUse.h"
#include "net/HttpProt.h"

namespace lumi {

std::vector<std::string> thumbnailSources(const std::string& address,
                                          const PictureSource& source) {
    std::vector<std::string> sources;
    if (!source.thumbnail.empty() && source.thumbnail != address)
        sources.push_back(source.thumbnail);
    sources.push_back(address);
    return sources;
}

namespace {
// The client whose event is running goes once the event has returned.
template <class Fetch>
void dropClient(Fetch& fetch) {
    if (fetch.client) fetch.client.release()->deleteLater();
}
} // namespace

struct ThumbnailFetches::Fetch {
    ThumbnailRequest request;
    size_t source = 0; // index into request.sources
    std::unique_ptr<THttpCli> client;
    QByteArray body;
    int64_t limit = 0;
    ProxySetting proxy;
    QTimer watchdog;
    QElapsedTimer sinceActivity;
    // Set when the fetch was ended from here (over the limit, a time-out).
    std::string failure;
    bool tooLarge = false;

    bool lastSource() const { return source + 1 >= request.sources.size(); }
};

ThumbnailFetches::ThumbnailFetches(std::string settingsPath, QObject* parent)
    : QObject(parent), settingsPath_(std::move(settingsPath)), idleTimeout_(TransferIdleTimeout) {}

ThumbnailFetches::~ThumbnailFetches() = default;

size_t ThumbnailFetches::running() const {
    return fetches_.size();
}

bool ThumbnailFetches::holds(const std::string& key) const {
    return std::any_of(fetches_.begin(), fetches_.end(),
                       [&key](const auto& f) { return f->request.key == key; });
}

bool ThumbnailFetches::has(const std::string& key) const {
    return holds(key) || std::any_of(queue_.begin(), queue_.end(),
                                     [&key](const auto& r) { return r.key == key; });
}

void ThumbnailFetches::want(std::vector<ThumbnailRequest> wanted) {
    queue_.clear();
    for (ThumbnailRequest& request : wanted)
        if (!request.sources.empty() && !holds(request.key)) queue_.push_back(std::move(request));
    startWaiting();
}

void ThumbnailFetches::clear() {
    queue_.clear();
    // Destroying a client stops it without any further event.
    fetches_.clear();
}

void ThumbnailFetches::startWaiting() {
    if (fetches_.size() >= MostAtOnce || queue_.empty()) return;
    // Read once for all the fetches this call starts, not once a fetch.
    const TIniFile settings(settingsPath_);
    const int64_t limit = int64_t(std::max(1, readSetting(settings, setting::ThumbMaxKB))) * 1024;
    const ProxySetting proxy = proxyFromSettings(settings);
    while (fetches_.size() < MostAtOnce && !queue_.empty()) {
        auto fetch = std::make_unique<Fetch>();
        fetch->request = std::move(queue_.front());
        queue_.erase(queue_.begin());
        fetch->limit = limit;
        fetch->proxy = proxy;
        Fetch* f = fetch.get();
        fetch->watchdog.setSingleShot(true);
        connect(&fetch->watchdog, &QTimer::timeout, this, [this, f] {
            const auto quiet = std::chrono::milliseconds(f->sinceActivity.elapsed());
            if (f->failure.empty() && quiet < idleTimeout_) {
                f->watchdog.start(idleTimeout_ - quiet);
                return;
            }
            if (f->failure.empty()) f->failure = "Timed out";
            if (f->client)
                f->client->Abort();
            else
                finishSource(f, f->failure);
        });
        fetches_.push_back(std::move(fetch));
        startSource(*f);
    }
}

void ThumbnailFetches::startSource(Fetch& fetch) {
    fetch.body.clear();
    fetch.failure.clear();
    const ProxySetting& proxy = fetch.proxy;
    if (proxy.missingServer) {
        // Ended from the timer, as every other failure, so that OnFetched never runs
        // inside want().
        fetch.failure = MissingProxyServerText;
        fetch.watchdog.start(0);
        return;
    }
    fetch.client = std::make_unique<THttpCli>();
    THttpCli& client = *fetch.client;
    const std::string& address = fetch.request.sources[fetch.source];
    useProxy(client, proxy);
    client.URL = address;
    if (AgentFor)
        if (std::string agent = AgentFor(address); !agent.empty()) client.Agent = std::move(agent);
    Fetch* f = &fetch;
    client.OnSessionConnected = [f](THttpCli*) { f->sinceActivity.restart(); };
    client.OnHeaderData = [f](THttpCli*) { f->sinceActivity.restart(); };
    client.OnDocData = [this, f](THttpCli*, const char* data, int len) { bodyBlock(*f, data, len); };
    client.OnRequestDone = [this, f](THttpCli*, THttpRequest, int error) {
        if (connections_) connections_->recycle(*f->client);
        std::string reason = f->failure;
        if (reason.empty() && error != 0) reason = transferFailureReason(*f->client, error);
        if (reason.empty() && f->client->StatusCode() != 200)
            reason = std::to_string(f->client->StatusCode()) + " " + f->client->ReasonPhrase();
        if (reason.empty() && f->body.isEmpty()) reason = "Empty body";
        finishSource(f, reason);
    };
    fetch.sinceActivity.start();
    fetch.watchdog.start(idleTimeout_);
    if (connections_) connections_->prepare(client);
    client.StartGet();
}

// Ended from the watchdog's timer rather than from inside the client's data event.
void ThumbnailFetches::bodyBlock(Fetch& fetch, const char* data, int len) {
    fetch.sinceActivity.restart();
    if (!fetch.failure.empty() || fetch.client->StatusCode() != 200) return;
    const int64_t announced = fetch.client->ContentLength();
    if (fetch.body.size() + len > fetch.limit || announced > fetch.limit) {
        fetch.failure = "Over the size limit";
        fetch.tooLarge = fetch.lastSource();
        fetch.watchdog.start(0);
        return;
    }
    fetch.body.append(data, len);
}

void ThumbnailFetches::finishSource(Fetch* fetch, const std::string& reason) {
    fetch->watchdog.stop();
    if (!reason.empty() && !fetch->lastSource()) {
        ++fetch->source;
        // The client whose event this is goes once the event has returned.
        dropClient(*fetch);
        startSource(*fetch);
        return;
    }
    const auto it = std::find_if(fetches_.begin(), fetches_.end(),
                                 [fetch](const auto& f) { return f.get() == fetch; });
    std::unique_ptr<Fetch> done = std::move(*it);
    fetches_.erase(it);
    dropClient(*done);
    ThumbnailFetched outcome{done->request.key, reason.empty() ? done->body : QByteArray(), reason,
                             done->tooLarge};
    done.reset();
    startWaiting();
    if (OnFetched) OnFetched(outcome);
}

} // namespace lumi
