#pragma once
// H2Connection: one HTTP/2 connection to a place, as the streams of many requests share it.
// It takes over a socket that stands connected (over TLS, with h2 agreed) and drives an
// H2Session with the socket's bytes: what arrives goes into the session, what the session
// wants sent goes out at once. It owns both; streams beyond the server's bound are the
// caller's to hold until OnStreamFreed.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/H2Session.h"
#include "net/WSocket.h"

namespace lumi {

class H2Connection {
public:
    explicit H2Connection(std::unique_ptr<TWSocket> socket);
    // Closes the socket without events; streams still open hear nothing more.
    ~H2Connection();
    H2Connection(const H2Connection&) = delete;
    H2Connection& operator=(const H2Connection&) = delete;

    // See H2Session::submit; -1 when no stream can be opened now.
    int32_t submit(const H2Request& request, H2StreamHandler& handler);
    void cancel(int32_t stream);
    bool canSubmit() const { return !finished_ && session_.canSubmit(); }
    size_t openStreams() const { return session_.openStreams(); }
    // The connection is done with (see H2Session::finished); its socket is closed.
    bool finished() const { return finished_; }
    const std::string& errorText() const { return session_.errorText(); }

    // After streams ended (a slot may be free), and once when the connection is finished.
    // Handlers of these events and of the streams may submit and cancel, but must not
    // destroy the connection: it is still running its socket's notification.
    std::function<void(H2Connection* sender)> OnStreamFreed;
    std::function<void(H2Connection* sender)> OnFinished;

private:
    void dataAvailable();
    void flush();
    void socketClosed(int error);
    void afterSessionCall(size_t openBefore);

    std::unique_ptr<TWSocket> socket_;
    H2Session session_;
    std::string output_;
    std::string input_;
    bool finished_ = false;
};

} // namespace lumi
