#include "engine/ThumbnailFetches.h"

#include <algorithm>
#include <optional>

#include <QTimer>

#include "base/Clock.h"
#include "base/IniFiles.h"
#include "base/ProxySetting.h"
#include "base/SettingKeys.h"
#include "base/TextOps.h"
#include "engine/FileTransfers.h"
#include "engine/IdleWatchdog.h"
#include "engine/ProxyUse.h"
#include "net/HttpProt.h"
#include "picture/ExifThumbnail.h"

namespace lumi {

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
    // Wakes the fetch to look at its deadline; the time itself is read on the tick clock.
    QTimer deadline;
    uint32_t startedAt = 0;
    std::string host;    // of the source asked now
    bool parked = false; // waiting for a place at host
    // Set when the fetch was ended from here (over the limit, a time-out).
    std::string failure;
    bool tooLarge = false;
    // The embedded source has read as far as it needs and was ended from here.
    bool enough = false;
    bool unchanged = false;
    int orientation = 1;
    ThumbnailSource answered;
    int64_t pictureSize = -1;

    bool lastSource() const { return source + 1 >= request.sources.size(); }
    const ThumbnailSource& current() const { return request.sources[source]; }
    bool embedded() const { return current().embedded; }
};

ThumbnailFetches::ThumbnailFetches(std::string settingsPath, QObject* parent)
    : QObject(parent), settingsPath_(std::move(settingsPath)), idleTimeout_(TransferIdleTimeout) {}

ThumbnailFetches::~ThumbnailFetches() = default;

size_t ThumbnailFetches::running() const {
    return fetches_.size();
}

size_t ThumbnailFetches::runningAt(const std::string& host) const {
    return size_t(std::count_if(fetches_.begin(), fetches_.end(), [&host](const auto& f) {
        return !f->parked && f->host == host;
    }));
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
    // Fetches waiting between two sources go before new requests.
    for (const auto& fetch : fetches_)
        if (fetch->parked && runningAt(fetch->host) < MostPerHost) startSource(*fetch);
    // Read once for all the fetches this call starts, not once a fetch.
    std::optional<TIniFile> settings;
    int64_t limit = 0;
    ProxySetting proxy;
    for (auto it = queue_.begin(); it != queue_.end() && fetches_.size() < MostAtOnce;) {
        // Requests for a busy host wait; those behind them for other hosts go on.
        if (runningAt(hostAndPort(it->sources.front().address)) >= MostPerHost) {
            ++it;
            continue;
        }
        if (!settings) {
            settings.emplace(settingsPath_);
            limit = int64_t(std::max(1, readSetting(*settings, setting::ThumbMaxKB))) * 1024;
            proxy = proxyFromSettings(*settings);
        }
        auto fetch = std::make_unique<Fetch>();
        fetch->request = std::move(*it);
        it = queue_.erase(it);
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
        fetch->deadline.setSingleShot(true);
        connect(&fetch->deadline, &QTimer::timeout, this, [this, f] {
            const auto spent = std::chrono::milliseconds(ticksSince(f->startedAt, tickCount()));
            if (spent < Deadline)
                f->deadline.start(Deadline - spent);
            else
                alive(*f);
        });
        fetches_.push_back(std::move(fetch));
        startSource(*f);
    }
}

void ThumbnailFetches::startSource(Fetch& fetch) {
    fetch.host = hostAndPort(fetch.current().address);
    fetch.parked = true;
    if (runningAt(fetch.host) >= MostPerHost) return;
    fetch.parked = false;
    fetch.body.clear();
    fetch.failure.clear();
    fetch.enough = false;
    fetch.startedAt = tickCount();
    fetch.deadline.start(Deadline);
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
    const std::string& address = fetch.current().address;
    useProxy(client, proxy);
    client.URL = address;
    if (fetch.embedded()) client.Range = "bytes=0-" + std::to_string(EmbeddedSpan - 1);
    client.ExtraHeaders = conditionalLines(fetch.current());
    if (AgentFor)
        if (std::string agent = AgentFor(address); !agent.empty()) client.Agent = std::move(agent);
    Fetch* f = &fetch;
    client.OnSessionConnected = [this, f](THttpCli*) { alive(*f); };
    client.OnHeaderData = [this, f](THttpCli*) { alive(*f); };
    client.OnDocData = [this, f](THttpCli*, const char* data, int len) {
        if (f->embedded())
            embeddedBlock(*f, data, len);
        else
            bodyBlock(*f, data, len);
    };
    client.OnRequestDone = [this, f](THttpCli*, THttpRequest, int error) {
        if (connections_) connections_->recycle(*f->client);
        finishSource(f, answerReason(*f, error));
    };
    fetch.watchdog.start(idleTimeout_);
    if (connections_) connections_->prepare(client);
    client.StartGet();
}

// A server that sends a byte now and then keeps the idle time-out away, not the deadline.
// Ended from the watchdog's timer rather than from inside the client's events.
bool ThumbnailFetches::alive(Fetch& fetch) {
    fetch.watchdog.alive();
    if (!fetch.failure.empty() || fetch.enough) return false;
    if (std::chrono::milliseconds(ticksSince(fetch.startedAt, tickCount())) < Deadline) return true;
    fetch.failure = "No thumbnail within " + std::to_string(Deadline.count()) + " s";
    fetch.watchdog.end();
    return false;
}

void ThumbnailFetches::bodyBlock(Fetch& fetch, const char* data, int len) {
    if (!alive(fetch) || fetch.client->StatusCode() != 200) return;
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
    const int status = fetch.client->StatusCode();
    if (!alive(fetch) || (status != 200 && status != 206)) return;
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

// Why the source's answer gives no thumbnail, or empty (its bytes then are the thumbnail's).
std::string ThumbnailFetches::answerReason(Fetch& fetch, int error) {
    THttpCli& client = *fetch.client;
    if (!fetch.enough) {
        if (!fetch.failure.empty()) return fetch.failure;
        if (error != 0) return transferFailureReason(client, error);
        const int status = client.StatusCode();
        if (status == 304 && !conditionalLines(fetch.current()).empty()) {
            fetch.unchanged = true;
            fetch.answered = answeredSource(client, fetch.current());
            return {};
        }
        if (status != 200 && !(fetch.embedded() && status == 206))
            return std::to_string(status) + " " + client.ReasonPhrase();
        if (fetch.body.isEmpty()) return "Empty body";
    }
    if (std::string refused = answerRefusal(client, fetch.current(), fetch.body); !refused.empty())
        return refused;
    fetch.answered = answeredSource(client, fetch.current());
    if (fetch.current().address == fetch.request.key) fetch.pictureSize = announcedFileSize(client);
    return fetch.embedded() ? takeEmbedded(fetch) : std::string();
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
    fetch->deadline.stop();
    if (!reason.empty() && !fetch->lastSource()) {
        ++fetch->source;
        // The client whose event this is goes once the event has returned.
        dropClient(*fetch);
        startSource(*fetch);
        // The place it held at its last host may be another's now.
        startWaiting();
        return;
    }
    const auto it = std::find_if(fetches_.begin(), fetches_.end(),
                                 [fetch](const auto& f) { return f.get() == fetch; });
    std::unique_ptr<Fetch> done = std::move(*it);
    fetches_.erase(it);
    dropClient(*done);
    ThumbnailFetched outcome;
    outcome.key = done->request.key;
    outcome.reason = reason;
    outcome.tooLarge = done->tooLarge;
    outcome.orientation = done->orientation;
    if (reason.empty()) {
        outcome.bytes = done->body;
        outcome.answered = done->answered;
        outcome.unchanged = done->unchanged;
        outcome.untried.assign(done->request.sources.begin() + qsizetype(done->source) + 1,
                               done->request.sources.end());
    }
    outcome.pictureSize = done->pictureSize;
    done.reset();
    startWaiting();
    if (OnFetched) OnFetched(outcome);
}

} // namespace lumi
