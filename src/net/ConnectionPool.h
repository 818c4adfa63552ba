#pragma once
// ConnectionPool: the connections the engine's requests leave open, lent to later requests
// to the same place (scheme, host, port and proxy with its login, see
// THttpCli::ConnectionKey). At most
// MostIdlePerPlace wait per place and MostIdle in all; one idle for IdleLimitMs, or one the
// server closes or speaks on while it waits, is closed and forgotten. The pool opens
// nothing: how many connections are open at once stays the callers' bound (a download
// batch runs up to 24 transfers), and a place keeps as many as such a batch holds, so that
// none of them is closed only to be opened again for the next picture.
#include <cstddef>
#include <cstdint>
#include <vector>

#include <QTimer>

#include "net/HttpProt.h"

namespace lumi {

class ConnectionPool {
public:
    static constexpr size_t MostIdlePerPlace = 24;
    static constexpr size_t MostIdle = 64;
    static constexpr uint32_t IdleLimitMs = 15000;

    ConnectionPool();
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // Before the client's Start: its request goes as HTTP/1.1 with a kept connection, on an
    // idle one to the same place when there is one. Set URL and the proxy settings first.
    void prepare(THttpCli& client);
    // From the client's OnRequestDone: keeps its connection when the answer left it reusable.
    void recycle(THttpCli& client);
    // Closes the connections idle for IdleLimitMs (the pool's own timer calls it too).
    void closeStale();
    // Closes every idle connection of every pool of the process, so that a socket that could
    // not be made for want of descriptors can be tried once more; how many were closed.
    static size_t closeIdleEverywhere();
    size_t idle() const { return idle_.size(); }

private:
    struct Idle {
        KeptConnection connection;
        uint32_t since = 0;
    };
    void forgetGone();
    void scheduleSweep();

    std::vector<Idle> idle_;
    QTimer sweep_;
};

} // namespace lumi
