// Fuzzes the HTTP client's response handling (status line, interim answers, header fields
// and their blanks, headerless documents, relocations, body length) by serving the input
// bytes from a loopback server, and the URL splitter, the request-target escaping and the
// relocation resolver with the same bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <sys/socket.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "net/HttpProt.h"
#include "net/WSocket.h"

namespace {

// How long one input may keep the client busy before it is aborted.
constexpr int inputTimeLimitMs = 3000;

// Answers every connection with the same bytes, then ends its sending side.
struct ReplayServer {
    TWSocket listener;
    std::vector<std::unique_ptr<TWSocket>> connections;
    std::string response;
    std::string port;

    ReplayServer() {
        listener.setAddr("127.0.0.1");
        listener.setPort("0");
        listener.OnSessionAvailable = [this](TWSocket* s, int) {
            const int fd = s->Accept();
            if (fd < 0) return;
            auto c = std::make_unique<TWSocket>();
            TWSocket* raw = c.get();
            auto request = std::make_shared<std::string>();
            raw->OnDataAvailable = [this, request](TWSocket* me, int) {
                const bool had = request->find("\r\n\r\n") != std::string::npos;
                *request += me->ReceiveStr();
                if (had || request->find("\r\n\r\n") == std::string::npos) return;
                if (!response.empty()) me->SendStr(response);
                ::shutdown(me->HSocket(), SHUT_WR);
            };
            connections.push_back(std::move(c));
            raw->Dup(fd);
        };
        listener.Listen();
        port = listener.GetXPort();
    }
    // Connections are dropped between inputs, never inside their own events.
    void dropAll() { connections.clear(); }
};

ReplayServer* server = nullptr;

void checkSplit(std::string_view url) {
    const lumi::UrlParts p = lumi::splitUrl(url);
    // Every part is a piece of the input; the host never holds a path separator.
    if (p.host.find('/') != std::string::npos) __builtin_trap();
    if (p.path.size() > url.size() || p.host.size() > url.size()) __builtin_trap();
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// An escaped target holds printable ASCII without blanks or "#", each "%" starts an escape,
// and escaping it again changes nothing.
void checkEscaped(const std::string& target) {
    for (size_t i = 0; i < target.size(); ++i) {
        const auto c = static_cast<unsigned char>(target[i]);
        if (c <= ' ' || c >= 127 || c == '#' || c == '"' || c == '<' || c == '>') __builtin_trap();
        if (c == '%' && (i + 2 >= target.size() || !isHex(target[i + 1]) || !isHex(target[i + 2])))
            __builtin_trap();
    }
    if (lumi::escapeRequestTarget(target) != target) __builtin_trap();
}

// A resolved relocation has an absolute path without dot segments or fragment.
void checkResolved(std::string_view location) {
    const lumi::HttpAddress base{"h.example", "8080", "/a/b/page.html?q=1"};
    const lumi::ResolvedLocation r = lumi::resolveLocation(base, location);
    if (!r.unsupportedScheme.empty()) return;
    const std::string& path = r.address.path;
    const std::string_view pathOnly = std::string_view(path).substr(0, path.find('?'));
    if (path.empty() || path[0] != '/' || path.find('#') != std::string::npos) __builtin_trap();
    for (const char* dots : {"/./", "/../"})
        if (pathOnly.find(dots) != std::string_view::npos) __builtin_trap();
    if (pathOnly.size() >= 2 && pathOnly.substr(pathOnly.size() - 2) == "/.") __builtin_trap();
    if (pathOnly.size() >= 3 && pathOnly.substr(pathOnly.size() - 3) == "/..") __builtin_trap();
    checkEscaped(lumi::escapeRequestTarget(path));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    server = new ReplayServer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkSplit(input);
    checkEscaped(lumi::escapeRequestTarget(input));
    checkResolved(input);
    if (size < 1) return 0;

    // The first byte picks the connection mode: through a proxy (every relocation comes back
    // to this server) or direct (a relocation elsewhere is aborted, never looked up); and
    // GET or HEAD (a HEAD answer announces a length without a body).
    const bool viaProxy = (data[0] & 1) != 0;
    const bool head = (data[0] & 2) != 0;
    server->response = input.substr(1);

    THttpCli cli;
    bool done = false;
    int64_t bodyBytes = 0;
    cli.OnDocData = [&](THttpCli*, const char*, int len) { bodyBytes += len; };
    if (viaProxy) {
        cli.URL = "http://fuzz.example/start.html";
        cli.Proxy = "127.0.0.1:" + server->port;
    } else {
        cli.URL = "http://127.0.0.1:" + server->port + "/start.html";
        cli.OnLocationChange = [](THttpCli* s) { s->Abort(); };
    }
    QEventLoop loop;
    int error = 0;
    cli.OnRequestDone = [&](THttpCli*, THttpRequest, int e) {
        done = true;
        error = e;
        loop.quit();
    };
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&] { cli.Abort(); });
    limit.start(inputTimeLimitMs);
    if (head)
        cli.StartHead();
    else
        cli.StartGet();
    if (!done) loop.exec();
    if (cli.State() != httpReady) __builtin_trap();
    if (bodyBytes != cli.RcvdCount()) __builtin_trap();
    // A body cut short is reported only when less than the announced length arrived.
    if (error == lumi::httpShortBodyError && cli.RcvdCount() >= cli.ContentLength())
        __builtin_trap();
    server->dropAll();
    return 0;
}
