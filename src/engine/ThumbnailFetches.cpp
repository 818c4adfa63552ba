#include "engine/ThumbnailFetches.h"

#include <algorithm>

#include "base/IniFiles.h"
#include "base/ProxySetting.h"
#include "base/SettingKeys.h"
#include "engine/FileTransfers.h"
#include "engine/IdleWatchdog.h"
#include "engine/ProxyUse.h"
#include "net/HttpProt.h"
#include "picture/ExifThumbnail.h"

namespace lumi {

std::vector<ThumbnailSource> thumbnailSources(const std::string& address,
                                              const PictureSource& source) {
    std::vector<ThumbnailSource> sources;
    if (!source.thumbnail.empty() && source.thumbnail != address)
        sources.emplace_back(source.thumbnail);
    sources.emplace_back(address, true);
    sources.emplace_back(address);
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
    IdleWatchdog watchdog;
    // Set when the fetch was ended from here (over the limit, a time-out).
    std::string failure;
    bool tooLarge = false;
    // The embedded source has read as far as it needs and was ended from here.
    bool enough = false;
    int orientation = 1;

    bool lastSource() const { return source + 1 >= request.sources.size(); }
    bool embedded() const { return request.sources[source].embedded; }
};

namespace {

std::string outcomeReason(const std::string& failure, THttpCli& client, int error,
                          bool embedded, const QByteArray& body) {
    if (!failure.empty()) return failure;
    if (error != 0) return transferFailureReason(client, error);
    const int status = client.StatusCode();
    if (status != 200 && !(embedded && status == 206))
        return std::to_string(status) + " " + client.ReasonPhrase();
    return body.isEmpty() ? "Empty body" : "";
}

} // namespace

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
        fetch->limit = fetch->request.anySize ? AnySizeThumbnailBytes : limit;
        fetch->proxy = proxy;
        Fetch* f = fetch.get();
        fetch->watchdog.OnFire = [this, f](bool timedOut) {
            if (timedOut && f->failure.empty()) f->failure = "Timed out";
            if (f->client)
                f->client->Abort();
            else
                finishSource(f, f->failure);
        };
        fetches_.push_back(std::move(fetch));
        startSource(*f);
    }
}

void ThumbnailFetches::startSource(Fetch& fetch) {
    fetch.body.clear();
    fetch.failure.clear();
    fetch.enough = false;
    const ProxySetting& proxy = fetch.proxy;
    if (proxy.missingServer) {
        // Ended from the timer, as every other failure, so that OnFetched never runs
        // inside want().
        fetch.failure = MissingProxyServerText;
        fetch.watchdog.end();
        return;
    }
    fetch.client = std::make_unique<THttpCli>();
    THttpCli& client = *fetch.client;
    const std::string& address = fetch.request.sources[fetch.source].address;
    useProxy(client, proxy);
    client.URL = address;
    if (fetch.embedded()) client.Range = "bytes=0-" + std::to_string(EmbeddedSpan - 1);
    if (AgentFor)
        if (std::string agent = AgentFor(address); !agent.empty()) client.Agent = std::move(agent);
    Fetch* f = &fetch;
    client.OnSessionConnected = [f](THttpCli*) { f->watchdog.alive(); };
    client.OnHeaderData = [f](THttpCli*) { f->watchdog.alive(); };
    client.OnDocData = [this, f](THttpCli*, const char* data, int len) {
        if (f->embedded())
            embeddedBlock(*f, data, len);
        else
            bodyBlock(*f, data, len);
    };
    client.OnRequestDone = [this, f](THttpCli*, THttpRequest, int error) {
        if (connections_) connections_->recycle(*f->client);
        std::string reason =
            f->enough ? "" : outcomeReason(f->failure, *f->client, error, f->embedded(), f->body);
        if (reason.empty() && f->embedded()) reason = takeEmbedded(*f);
        finishSource(f, reason);
    };
    fetch.watchdog.start(idleTimeout_);
    if (connections_) connections_->prepare(client);
    client.StartGet();
}

// Ended from the watchdog's timer rather than from inside the client's data event.
void ThumbnailFetches::bodyBlock(Fetch& fetch, const char* data, int len) {
    fetch.watchdog.alive();
    if (!fetch.failure.empty() || fetch.client->StatusCode() != 200) return;
    const int64_t announced = fetch.client->ContentLength();
    if (fetch.body.size() + len > fetch.limit || announced > fetch.limit) {
        fetch.failure = "Over the size limit";
        fetch.tooLarge = fetch.lastSource();
        fetch.watchdog.end();
        return;
    }
    fetch.body.append(data, len);
}

// A server that ignores the Range line sends the whole picture: it is read only until the
// first bytes tell whether they hold a thumbnail, and never past EmbeddedSpan. A picture
// announced as no larger is read whole, to stand in for the picture source.
void ThumbnailFetches::embeddedBlock(Fetch& fetch, const char* data, int len) {
    fetch.watchdog.alive();
    const int status = fetch.client->StatusCode();
    if (!fetch.failure.empty() || fetch.enough || (status != 200 && status != 206)) return;
    fetch.body.append(data, int(std::min<int64_t>(len, EmbeddedSpan - fetch.body.size())));
    const int64_t announced = fetch.client->ContentLength();
    if (status == 200 && announced >= 0 && announced <= EmbeddedSpan) return;
    const auto* bytes = reinterpret_cast<const uint8_t*>(fetch.body.constData());
    if (fetch.body.size() < EmbeddedSpan &&
        embeddedThumbnail(bytes, size_t(fetch.body.size())).status ==
            EmbeddedThumbnail::Status::NeedsMore)
        return;
    fetch.enough = true;
    fetch.watchdog.end();
}

// The embedded source's bytes become the thumbnail they hold. A 200 that ended by itself
// (a picture smaller than EmbeddedSpan) holds the whole picture: it stands in for the
// picture source when no thumbnail is inside.
std::string ThumbnailFetches::takeEmbedded(Fetch& fetch) {
    const EmbeddedThumbnail found = embeddedThumbnail(
        reinterpret_cast<const uint8_t*>(fetch.body.constData()), size_t(fetch.body.size()));
    if (found.status == EmbeddedThumbnail::Status::Found) {
        fetch.body = fetch.body.mid(qsizetype(found.offset), qsizetype(found.size));
        fetch.orientation = found.orientation;
        return {};
    }
    const bool whole = !fetch.enough && fetch.client->StatusCode() == 200;
    return whole && fetch.body.size() <= fetch.limit ? "" : "No embedded thumbnail";
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
                             done->tooLarge, done->orientation};
    done.reset();
    startWaiting();
    if (OnFetched) OnFetched(outcome);
}

} // namespace lumi
