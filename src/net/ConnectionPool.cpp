#include "net/ConnectionPool.h"

#include <algorithm>
#include <utility>

#include "base/Clock.h"

namespace lumi {

namespace {
// The pools of the process (all on the thread of the event loop).
std::vector<ConnectionPool*>& livePools() {
    static std::vector<ConnectionPool*> pools;
    return pools;
}
} // namespace

ConnectionPool::ConnectionPool() {
    livePools().push_back(this);
    sweep_.setSingleShot(true);
    QObject::connect(&sweep_, &QTimer::timeout, [this] {
        forgetGone();
        closeStale();
    });
}

// The connections close silently with their sockets.
ConnectionPool::~ConnectionPool() {
    std::erase(livePools(), this);
}

size_t ConnectionPool::closeIdleEverywhere() {
    size_t closed = 0;
    for (ConnectionPool* pool : livePools()) {
        closed += pool->idle_.size();
        pool->idle_.clear();
        pool->sweep_.stop();
    }
    return closed;
}

void ConnectionPool::prepare(THttpCli& client) {
    client.KeepAlive = true;
    forgetGone();
    const std::string key = client.ConnectionKey();
    // The most recently used first: it is the least likely to have been closed by the server.
    for (auto it = idle_.rbegin(); it != idle_.rend(); ++it) {
        if (it->connection.key != key) continue;
        client.AdoptConnection(std::move(it->connection));
        idle_.erase(std::next(it).base());
        return;
    }
}

void ConnectionPool::recycle(THttpCli& client) {
    KeptConnection connection = client.TakeConnection();
    if (!connection.socket) return;
    forgetGone();
    const auto samePlace = [&](const Idle& waiting) {
        return waiting.connection.key == connection.key;
    };
    if (std::count_if(idle_.begin(), idle_.end(), samePlace) >=
        static_cast<std::ptrdiff_t>(MostIdlePerPlace))
        return;
    if (idle_.size() >= MostIdle) idle_.erase(idle_.begin()); // the oldest goes first
    TWSocket& socket = *connection.socket;
    // A server closes an idle connection when it likes, and has nothing to say on one: either
    // way the connection is closed and cannot serve a request any more. It is forgotten
    // soon, outside its own notification.
    const auto forgetSoon = [this](TWSocket*, int) {
        if (!sweep_.isActive() || sweep_.remainingTime() > 0) sweep_.start(0);
    };
    socket.OnSessionClosed = forgetSoon;
    socket.OnDataAvailable = [forgetSoon](TWSocket* sender, int error) {
        sender->OnSessionClosed = nullptr;
        sender->Close();
        forgetSoon(sender, error);
    };
    idle_.push_back({std::move(connection), tickCount()});
    scheduleSweep();
}

void ConnectionPool::forgetGone() {
    std::erase_if(idle_, [](const Idle& waiting) {
        return !waiting.connection.socket || waiting.connection.socket->State() != wsConnected;
    });
}

void ConnectionPool::closeStale() {
    const uint32_t now = tickCount();
    std::erase_if(idle_, [now](const Idle& waiting) {
        return ticksSince(waiting.since, now) >= IdleLimitMs;
    });
    scheduleSweep();
}

// Wakes when the oldest idle connection reaches the limit.
void ConnectionPool::scheduleSweep() {
    if (idle_.empty()) {
        sweep_.stop();
        return;
    }
    const uint32_t age = ticksSince(idle_.front().since, tickCount());
    const int wait = static_cast<int>(age >= IdleLimitMs ? 0 : IdleLimitMs - age);
    if (!sweep_.isActive() || sweep_.remainingTime() > wait) sweep_.start(wait);
}

} // namespace lumi
