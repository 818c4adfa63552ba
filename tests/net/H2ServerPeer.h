#pragma once
// Test peers that speak HTTP/2 as a server (nghttp2): one in memory, answering each request
// by its path, and the same on a loopback socket in a thread of its own.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <netinet/in.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <nghttp2/nghttp2.h>

namespace lumi::test {

inline std::string pattern(size_t size) {
    std::string s(size, 0);
    for (size_t i = 0; i < size; ++i) s[i] = char('a' + i % 26);
    return s;
}

struct Answer {
    int status = 200;
    size_t bodySize = 0;
    bool resetAfterHeader = false;
    size_t headerValueSize = 0; // two fields of this size
    bool informationalFirst = false;
};

// A server in memory: answers each request by its path; with goawayAfter set, says GOAWAY
// after that many requests and leaves the rest alone.
class ServerPeer {
public:
    ServerPeer(std::map<std::string, Answer> answers, int goawayAfter)
        : answers_(std::move(answers)), goawayAfter_(goawayAfter) {
        nghttp2_session_callbacks* cb = nullptr;
        nghttp2_session_callbacks_new(&cb);
        nghttp2_session_callbacks_set_on_header_callback(
            cb, [](nghttp2_session*, const nghttp2_frame* f, const uint8_t* n, size_t nl,
                   const uint8_t* v, size_t vl, uint8_t, void* self) {
                if (std::string(reinterpret_cast<const char*>(n), nl) == ":path")
                    static_cast<ServerPeer*>(self)->paths_[f->hd.stream_id] =
                        std::string(reinterpret_cast<const char*>(v), vl);
                return 0;
            });
        nghttp2_session_callbacks_set_on_frame_recv_callback(
            cb, [](nghttp2_session*, const nghttp2_frame* f, void* self) {
                if (f->hd.type == NGHTTP2_HEADERS && (f->hd.flags & NGHTTP2_FLAG_END_STREAM))
                    static_cast<ServerPeer*>(self)->respond(f->hd.stream_id);
                return 0;
            });
        nghttp2_option* options = nullptr;
        nghttp2_option_new(&options);
        nghttp2_option_set_max_send_header_block_length(options, 1 << 20);
        nghttp2_session_server_new2(&s_, cb, this, options);
        nghttp2_option_del(options);
        nghttp2_session_callbacks_del(cb);
        nghttp2_submit_settings(s_, NGHTTP2_FLAG_NONE, nullptr, 0);
    }
    ~ServerPeer() { nghttp2_session_del(s_); }

    std::string exchange(const std::string& in) {
        nghttp2_session_mem_recv(s_, reinterpret_cast<const uint8_t*>(in.data()), in.size());
        std::string out = send();
        for (int32_t id : resets_) // after the header they follow has gone out
            nghttp2_submit_rst_stream(s_, NGHTTP2_FLAG_NONE, id, NGHTTP2_INTERNAL_ERROR);
        resets_.clear();
        return out + send();
    }
    int answered() const { return answered_; }

private:
    std::string send() {
        std::string out;
        const uint8_t* bytes = nullptr;
        for (ssize_t n; (n = nghttp2_session_mem_send(s_, &bytes)) > 0;)
            out.append(reinterpret_cast<const char*>(bytes), size_t(n));
        return out;
    }
    void respond(int32_t id) {
        if (goawayAfter_ >= 0 && answered_ == goawayAfter_) return;
        if (++answered_ == goawayAfter_) nghttp2_submit_goaway(s_, 0, id, NGHTTP2_NO_ERROR, nullptr, 0);
        const Answer a = answers_[paths_[id]];
        bodies_[id] = pattern(a.bodySize);
        if (a.informationalFirst) submitHeaders(id, "103", {}, false);
        const std::string big(a.headerValueSize, 'v');
        const std::string status = std::to_string(a.status);
        if (a.resetAfterHeader) {
            submitHeaders(id, status, big, false);
            resets_.push_back(id);
            return;
        }
        nghttp2_data_provider body{};
        body.read_callback = [](nghttp2_session*, int32_t sid, uint8_t* buf, size_t len,
                                uint32_t* flags, nghttp2_data_source*, void* self) -> ssize_t {
            auto& rest = static_cast<ServerPeer*>(self)->bodies_[sid];
            const size_t n = std::min(len, rest.size());
            std::copy_n(rest.data(), n, buf);
            rest.erase(0, n);
            if (rest.empty()) *flags |= NGHTTP2_DATA_FLAG_EOF;
            return ssize_t(n);
        };
        std::vector<nghttp2_nv> nv = fields(status, big);
        nghttp2_submit_response(s_, id, nv.data(), nv.size(), &body);
    }
    void submitHeaders(int32_t id, const std::string& status, const std::string& big, bool end) {
        std::vector<nghttp2_nv> nv = fields(status, big);
        nghttp2_submit_headers(s_, end ? NGHTTP2_FLAG_END_STREAM : 0, id, nullptr, nv.data(),
                               nv.size(), nullptr);
    }
    std::vector<nghttp2_nv> fields(const std::string& status, const std::string& big) {
        static const std::string st = ":status", ct = "content-type", jpeg = "image/jpeg",
                                 x = "x-big", y = "x-big-too";
        auto nv = [](const std::string& n, const std::string& v) {
            return nghttp2_nv{(uint8_t*)n.data(), (uint8_t*)v.data(), n.size(), v.size(), 0};
        };
        std::vector<nghttp2_nv> out = {nv(st, status), nv(ct, jpeg)};
        if (!big.empty()) out.insert(out.end(), {nv(x, big), nv(y, big)});
        return out;
    }

    nghttp2_session* s_ = nullptr;
    std::map<std::string, Answer> answers_;
    std::map<int32_t, std::string> paths_, bodies_;
    std::vector<int32_t> resets_;
    int goawayAfter_, answered_ = 0;
};

// ServerPeer on 127.0.0.1: serves the first connection to port() until the client closes
// it, until closeAfter requests have been answered (then it closes), or until destroyed.
class LoopbackH2Server {
public:
    LoopbackH2Server(std::map<std::string, Answer> answers, int closeAfter = -1)
        : peer_(std::move(answers), -1), closeAfter_(closeAfter) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackH2Server() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }

private:
    void serve() {
        pollfd p{listener_, POLLIN, 0};
        while (!stop_ && ::poll(&p, 1, 20) == 0) {}
        if (stop_) return;
        const int fd = ::accept(listener_, nullptr, nullptr);
        p = {fd, POLLIN, 0};
        char buffer[65536];
        std::string out = peer_.exchange({});
        while (!stop_) {
            for (size_t sent = 0; sent < out.size();) {
                const ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += size_t(n);
            }
            if (closeAfter_ >= 0 && peer_.answered() >= closeAfter_) break;
            if (::poll(&p, 1, 20) == 0) {
                out.clear();
                continue;
            }
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            out = peer_.exchange(std::string(buffer, size_t(got)));
        }
        ::close(fd);
    }

    ServerPeer peer_;
    int closeAfter_;
    int listener_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace lumi::test
