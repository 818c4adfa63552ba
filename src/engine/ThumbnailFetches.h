#pragma once
// The thumbnail grid's fetches: the view says which cells it wants now (those on screen and
// one screen ahead, nearest first); the fetches start at most MostAtOnce of them, and at most
// MostPerHost at one host while the rest wait, drop the queued ones no longer wanted, and
// hand each outcome back as bytes for the grid to decode.
// A request tries its sources in order: the archive's own thumbnail, then the thumbnail a
// camera embeds in the picture's first EmbeddedSpan bytes (asked with a Range line), then
// the picture itself, which is read no further than the size limit. An answer is taken only
// when its bytes agree with what it announced (see ThumbnailAnswer.h). Transfers follow the
// rules of the picture transfers (the options' proxy, the picture agent, the idle time-out),
// and each source has Deadline in all, read on the tick clock (base/Clock.h).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QObject>

#include "analysis/SearchServices.h"
#include "engine/ThumbnailAnswer.h"
#include "net/ConnectionPool.h"

namespace lumi {

struct ThumbnailRequest {
    std::string key; // the picture's address
    std::vector<ThumbnailSource> sources;
    // Asked for by the user: read whatever ThumbMaxKB says, up to AnySizeThumbnailBytes.
    bool anySize = false;
};
inline constexpr int64_t AnySizeThumbnailBytes = int64_t(64) << 20;

struct ThumbnailFetched {
    std::string key;
    QByteArray bytes;   // the body of the source that answered; empty when failed
    std::string reason; // why no source gave a thumbnail, in the transfer's words
    bool tooLarge = false; // the picture itself is over the size limit
    int orientation = 1;   // an embedded thumbnail's, which the bytes do not carry
    // The source that answered, with its answer's validators.
    ThumbnailSource answered;
    // It said that what was asked with its validators has not changed (304): no bytes.
    bool unchanged = false;
    // The size of the picture itself when an answer from it told; -1 otherwise.
    int64_t pictureSize = -1;
    // The sources after the one that answered, for when its bytes do not decode.
    std::vector<ThumbnailSource> untried;
};

class ThumbnailFetches : public QObject {
public:
    static constexpr size_t MostAtOnce = 6;
    static constexpr size_t MostPerHost = 2;
    static constexpr std::chrono::seconds Deadline{15};
    // settingsPath: read for the proxy and for "ThumbMaxKB" when fetches start.
    explicit ThumbnailFetches(std::string settingsPath, QObject* parent = nullptr);
    ~ThumbnailFetches() override;

    // The requests wanted now, nearest first. Queued requests left out are dropped; running
    // ones run on. A key already queued or running is not asked twice.
    void want(std::vector<ThumbnailRequest> wanted);
    // Stops everything (a new search).
    void clear();

    // Each finished request, once; may call want().
    std::function<void(const ThumbnailFetched&)> OnFetched;
    // The User-Agent a fetch of address sends; unset or empty keeps the client's own.
    std::function<std::string(const std::string& address)> AgentFor;

    // Requests started and not yet finished (also those waiting between two sources for a
    // place at the next source's host).
    size_t running() const;
    // Whether key is queued or running.
    bool has(const std::string& key) const;
    size_t queued() const { return queue_.size(); }
    void setIdleTimeout(std::chrono::milliseconds timeout) { idleTimeout_ = timeout; }
    // Fetches started from now on keep their connections there between requests.
    void setConnectionPool(std::shared_ptr<ConnectionPool> pool) { connections_ = std::move(pool); }

private:
    struct Fetch;
    void startWaiting();
    void startSource(Fetch& fetch);
    void finishSource(Fetch* fetch, const std::string& reason);
    // A sign of life from fetch's transfer; false when it is past its deadline and was ended.
    bool alive(Fetch& fetch);
    void bodyBlock(Fetch& fetch, const char* data, int len);
    void embeddedBlock(Fetch& fetch, const char* data, int len);
    std::string answerReason(Fetch& fetch, int error);
    std::string takeEmbedded(Fetch& fetch);
    bool holds(const std::string& key) const;
    // Transfers running at host now.
    size_t runningAt(const std::string& host) const;

    std::string settingsPath_;
    std::chrono::milliseconds idleTimeout_;
    std::shared_ptr<ConnectionPool> connections_;
    std::vector<ThumbnailRequest> queue_;
    std::vector<std::unique_ptr<Fetch>> fetches_;
};

} // namespace lumi
