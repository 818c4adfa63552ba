#pragma once
// The items an archive's result page names and that are fetched one by one (the Met's
// objects): at most MaxRunning at once, whatever the page-fetch pool allows, each with the
// page fetches' deadline. It owns its clients and their receive buffers; a finished item's
// answer goes to the done handler, and the next waiting item starts.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>

#include "analysis/SearchServices.h"

class THttpCli;
class QTimer;

namespace lumi {

class CappedBuffer;

class ArchiveItemFetches : public QObject {
    Q_OBJECT
public:
    // Far below the rate any of the archives publishes (the Met's: 80 a second).
    static constexpr size_t MaxRunning = 6;

    // prepare sets a new client of the service up (proxy, headers, kept connections) before
    // it starts;
    // done receives a finished item: its client, its body, and the request's error (0 when
    // an answer came). done may call clear().
    using Prepare = std::function<void(ServiceId service, THttpCli& client)>;
    using Done = std::function<void(ServiceId service, THttpCli& client, const CappedBuffer& body,
                                    int error)>;
    ArchiveItemFetches(Prepare prepare, Done done, int64_t maxAnswerBytes, QObject* parent = nullptr);
    ~ArchiveItemFetches() override;

    void add(ServiceId service, const std::string& url);
    // Drops what waits and aborts what runs, without calling done.
    void clear();
    bool idle() const { return waiting_.empty() && running_.empty(); }
    // Items of that service waiting or running.
    size_t pending(ServiceId service) const;

private:
    struct Item {
        ServiceId service;
        std::string url;
    };
    struct Fetch {
        ServiceId service;
        std::unique_ptr<CappedBuffer> buffer; // the client's RcvdStream; outlives the client
        std::unique_ptr<THttpCli> client;
        std::unique_ptr<QTimer> deadline;
    };
    void startWaiting();
    void finished(THttpCli* sender, int error);

    Prepare prepare_;
    Done done_;
    int64_t maxAnswerBytes_;
    std::deque<Item> waiting_;
    std::vector<Fetch> running_;
};

} // namespace lumi
