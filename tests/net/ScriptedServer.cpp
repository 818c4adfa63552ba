#include "net/ScriptedServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QObject>
#include <QTimer>

#include "base/TextOps.h"

namespace lumi::test {

namespace {
// Pause between the chunks of one reply.
constexpr int chunkGapMs = 15;
// Bytes of request kept per connection.
constexpr size_t maxRequestBytes = 1 << 20;
} // namespace

struct ScriptedServer::Connection {
    TWSocket socket;
    int number = 0;
    QObject context; // timers of this connection die with it
    std::string input;
    ScriptedReply reply;
    size_t nextChunk = 0;
    bool replied = false;
    bool closed = false;
};

ScriptedServer::ScriptedServer() {
    listener_.setAddr("127.0.0.1");
    listener_.setPort("0");
    listener_.OnSessionAvailable = [this](TWSocket*, int) { acceptOne(); };
    listener_.Listen();
    port_ = std::stoi(listener_.GetXPort());
}

ScriptedServer::~ScriptedServer() {
    alive_.reset();
}

std::string ScriptedServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void ScriptedServer::dropClosed() {
    std::erase_if(connections_, [](const std::unique_ptr<Connection>& c) { return c->closed; });
}

void ScriptedServer::acceptOne() {
    dropClosed();
    const int fd = listener_.Accept();
    if (fd < 0) return;
    ++accepted_;
    connections_.push_back(std::make_unique<Connection>());
    Connection& c = *connections_.back();
    c.number = accepted_;
    c.socket.OnDataAvailable = [this, &c](TWSocket*, int) { onData(c); };
    c.socket.OnDataSent = [this, &c](TWSocket*, int) {
        if (!c.replied || c.closed) return;
        std::weak_ptr<bool> alive = alive_;
        QTimer::singleShot(chunkGapMs, &c.context, [this, &c, alive] {
            if (!alive.expired()) sendNext(c);
        });
    };
    c.socket.OnSessionClosed = [this, &c](TWSocket*, int) {
        if (!c.closed) ++closedByPeer_;
        c.closed = true;
    };
    c.socket.Dup(fd);
    if (replyOnAccept) {
        requests_.emplace_back();
        requestConnections_.push_back(c.number);
        startReply(c, respond ? respond(std::string(), static_cast<int>(requests_.size()) - 1)
                              : ScriptedReply{});
    }
}

void ScriptedServer::onData(Connection& c) {
    std::string bytes = c.socket.ReceiveStr();
    if (c.input.size() > maxRequestBytes) return;
    c.input += bytes;
    if (!c.replied) takeRequest(c);
}

void ScriptedServer::takeRequest(Connection& c) {
    const size_t end = c.input.find("\r\n\r\n");
    if (end == std::string::npos) return;
    size_t bodyLength = 0;
    const int at = textPosAnyCase("\r\ncontent-length: ", c.input.substr(0, end + 2));
    if (at > 0) bodyLength = std::stoul(c.input.substr(static_cast<size_t>(at) + 17));
    if (c.input.size() < end + 4 + bodyLength) return;
    requests_.push_back(c.input.substr(0, end + 4 + bodyLength));
    requestConnections_.push_back(c.number);
    c.input.erase(0, end + 4 + bodyLength);
    const int index = static_cast<int>(requests_.size()) - 1;
    ScriptedReply reply;
    if (respond)
        reply = respond(requests_.back(), index);
    else
        reply.chunks = {httpResponse("HTTP/1.0 200 OK", {"Content-Type: text/plain"}, "ok")};
    startReply(c, std::move(reply));
}

void ScriptedServer::startReply(Connection& c, ScriptedReply reply) {
    c.replied = true;
    c.reply = std::move(reply);
    c.nextChunk = 0;
    sendNext(c);
}

void ScriptedServer::sendNext(Connection& c) {
    if (c.closed || c.socket.State() != wsConnected) return;
    while (c.nextChunk < c.reply.chunks.size() && c.reply.chunks[c.nextChunk].empty())
        ++c.nextChunk;
    if (c.nextChunk < c.reply.chunks.size()) {
        c.socket.SendStr(c.reply.chunks[c.nextChunk++]);
        return;
    }
    finish(c);
}

void ScriptedServer::finish(Connection& c) {
    switch (c.reply.ending) {
    case ScriptedReply::Ending::StayOpen:
        return;
    case ScriptedReply::Ending::KeepAlive:
        c.replied = false;
        takeRequest(c);
        return;
    case ScriptedReply::Ending::Reset: {
        // A second descriptor keeps the connection alive through the socket's own close,
        // so that closing it with lingering at 0 sends a reset and no FIN.
        const int spare = ::dup(c.socket.HSocket());
        c.closed = true;
        c.socket.Abort();
        linger l{1, 0};
        setsockopt(spare, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(spare);
        return;
    }
    case ScriptedReply::Ending::Close:
        break;
    }
    c.closed = true;
    c.socket.Close();
}

void ScriptedServer::sendNow(int number, const std::string& bytes) {
    for (const auto& c : connections_)
        if (c->number == number && !c->closed)
            ::send(c->socket.HSocket(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

ScriptedReply scriptedReply(std::vector<std::string> chunks, ScriptedReply::Ending ending) {
    ScriptedReply reply;
    reply.chunks = std::move(chunks);
    reply.ending = ending;
    return reply;
}

std::string httpResponse(const std::string& statusLine, const std::vector<std::string>& header,
                         const std::string& body) {
    std::string r = statusLine + "\r\n";
    for (const std::string& h : header)
        r += h + "\r\n";
    return r + "\r\n" + body;
}

} // namespace lumi::test
