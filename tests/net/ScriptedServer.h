#pragma once
// A loopback HTTP peer for exact-byte tests, built on TWSocket's listener. It reads each
// request up to its empty line (and a body of the announced Content-Length), records it,
// and answers with a scripted reply: chunks sent one after another, then an ending.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/WSocket.h"

namespace lumi::test {

struct ScriptedReply {
    // KeepAlive: the connection stays open and reads the next request.
    enum class Ending { Close, Reset, StayOpen, KeepAlive };
    // Each chunk goes out after the previous one has left, after a short pause, so that the
    // client tends to see them in separate reads.
    std::vector<std::string> chunks;
    Ending ending = Ending::Close;
};

class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();

    int port() const { return port_; }
    // "http://127.0.0.1:PORT" + path
    std::string url(const std::string& path) const;

    // Reply for request number index (from 0). Unset: a plain 200 with body "ok".
    std::function<ScriptedReply(const std::string& request, int index)> respond;
    // Answer as soon as a connection arrives (request text then empty), without reading.
    bool replyOnAccept = false;

    // Writes on connection number (from 1) now, outside any reply and the event loop.
    void sendNow(int number, const std::string& bytes);

    const std::vector<std::string>& requests() const { return requests_; }
    // The connection (numbered from 1 in order of arrival) each request came on.
    const std::vector<int>& requestConnections() const { return requestConnections_; }
    int accepted() const { return accepted_; }
    // Connections the client has closed so far.
    int closedByPeer() const { return closedByPeer_; }

private:
    struct Connection;
    void acceptOne();
    void onData(Connection& c);
    void takeRequest(Connection& c);
    void startReply(Connection& c, ScriptedReply reply);
    void sendNext(Connection& c);
    void finish(Connection& c);
    void dropClosed();

    TWSocket listener_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::vector<std::string> requests_;
    std::vector<int> requestConnections_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    int port_ = 0;
    int accepted_ = 0;
    int closedByPeer_ = 0;
};

// A reply of chunks with the given ending.
ScriptedReply scriptedReply(std::vector<std::string> chunks,
                            ScriptedReply::Ending ending = ScriptedReply::Ending::Close);

// "HTTP/1.0 200 OK\r\n" + header lines (each ending in CR LF) + "\r\n" + body.
std::string httpResponse(const std::string& statusLine, const std::vector<std::string>& header,
                         const std::string& body);

} // namespace lumi::test
