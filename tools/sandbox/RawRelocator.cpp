#include "RawRelocator.h"

#include <chrono>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lumi::sandbox {

namespace {
// A request header longer than this is cut; only the request line matters here.
constexpr std::size_t kMaxRequestBytes = 8192;
// A client that sends its request slower than this is dropped.
constexpr int kRequestDeadlineMs = 2000;
constexpr int kPollMs = 100;
} // namespace

RawRelocator::~RawRelocator() {
    stop();
}

bool RawRelocator::start(Responder responder) {
    responder_ = std::move(responder);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) return false;
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener_);
        listener_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
    return true;
}

void RawRelocator::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
}

void RawRelocator::run() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, kPollMs) <= 0) continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        serve(connection);
        ::close(connection);
    }
}

void RawRelocator::serve(int connection) {
    std::string request;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestDeadlineMs);
    while (request.find("\r\n\r\n") == std::string::npos &&
           request.find("\n\n") == std::string::npos && request.size() < kMaxRequestBytes &&
           !stopping_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return;
        pollfd p{connection, POLLIN, 0};
        if (::poll(&p, 1, int(std::min<long long>(left, kPollMs))) <= 0) continue;
        char buffer[2048];
        const auto n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        request.append(buffer, std::size_t(n));
    }
    // "GET <target> HTTP/1.0": the target is the text between the first two blanks.
    const auto first = request.find(' ');
    const auto second = first == std::string::npos ? first : request.find(' ', first + 1);
    if (second == std::string::npos) return;
    const std::string answer = responder_(request.substr(first + 1, second - first - 1));
    std::size_t sent = 0;
    while (sent < answer.size()) {
        const auto n = ::send(connection, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += std::size_t(n);
    }
    ::shutdown(connection, SHUT_WR);
}

} // namespace lumi::sandbox
