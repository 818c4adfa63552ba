#pragma once
// The thumbnail grid's fetches: the view says which cells it wants now (those on screen and
// one screen ahead, nearest first); the fetches start at most MostAtOnce of them, drop the
// queued ones no longer wanted, and hand each outcome back as bytes for the grid to decode.
// A request tries its sources in order: the archive's own thumbnail, then the thumbnail a
// camera embeds in the picture's first EmbeddedSpan bytes (asked with a Range line), then
// the picture itself, which is read no further than the size limit. Transfers follow the
// rules of the picture transfers: the options' proxy, the picture agent, the idle time-out.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QObject>

#include "analysis/SearchServices.h"
#include "net/ConnectionPool.h"

namespace lumi {

// The part of a picture asked for its embedded thumbnail.
inline constexpr int64_t EmbeddedSpan = 64 * 1024;

struct ThumbnailSource {
    ThumbnailSource(std::string sourceAddress, bool embeddedOnly = false)
        : address(std::move(sourceAddress)), embedded(embeddedOnly) {}
    std::string address;
    // Only the EXIF thumbnail inside the first EmbeddedSpan bytes of the picture at address.
    bool embedded;
};

// Where a thumbnail of the picture at address may come from, in the order tried.
std::vector<ThumbnailSource> thumbnailSources(const std::string& address,
                                              const PictureSource& source);

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
};

class ThumbnailFetches : public QObject {
public:
    static constexpr size_t MostAtOnce = 6;
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
    void bodyBlock(Fetch& fetch, const char* data, int len);
    void embeddedBlock(Fetch& fetch, const char* data, int len);
    std::string takeEmbedded(Fetch& fetch);
    bool holds(const std::string& key) const;

    std::string settingsPath_;
    std::chrono::milliseconds idleTimeout_;
    std::shared_ptr<ConnectionPool> connections_;
    std::vector<ThumbnailRequest> queue_;
    std::vector<std::unique_ptr<Fetch>> fetches_;
};

} // namespace lumi
