#include "net/H2Connection.h"

namespace lumi {

namespace {
// One read from the socket: TLS records gathered, as the HTTP/1.1 body reads do.
constexpr size_t kReadBytes = 64 * 1024;
} // namespace

H2Connection::H2Connection(std::unique_ptr<TWSocket> socket) : socket_(std::move(socket)) {
    socket_->OnDataAvailable = [this](TWSocket*, int) { dataAvailable(); };
    socket_->OnDataSent = nullptr;
    socket_->OnSessionClosed = [this](TWSocket*, int error) { socketClosed(error); };
    socket_->OnChangeState = nullptr;
    flush(); // the connection preface and SETTINGS
    // Bytes that arrived before the socket was handed over wait in it: read them now.
    if (socket_->RcvdCount() > 0) dataAvailable();
}

H2Connection::~H2Connection() {
    socket_->OnSessionClosed = nullptr;
    socket_->OnDataAvailable = nullptr;
}

int32_t H2Connection::submit(const H2Request& request, H2StreamHandler& handler) {
    if (finished_) return -1;
    const int32_t id = session_.submit(request, handler);
    flush();
    return id;
}

void H2Connection::cancel(int32_t stream) {
    session_.cancel(stream);
    if (!finished_) flush();
}

void H2Connection::dataAvailable() {
    if (finished_) return;
    input_.resize(kReadBytes);
    const int got = socket_->Receive(input_.data(), int(input_.size()));
    if (got <= 0) return;
    const size_t openBefore = session_.openStreams();
    session_.receive(input_.data(), size_t(got));
    afterSessionCall(openBefore);
}

void H2Connection::flush() {
    session_.takeOutput(output_);
    if (!output_.empty() && socket_->State() == wsConnected)
        socket_->Send(output_.data(), int(output_.size()));
    output_.clear();
}

void H2Connection::afterSessionCall(size_t openBefore) {
    flush();
    const bool nowFinished = session_.finished() && !finished_;
    if (nowFinished) {
        finished_ = true;
        socket_->OnSessionClosed = nullptr;
        socket_->Close(); // after the last frames (a GOAWAY) went out
    }
    if (session_.openStreams() < openBefore && OnStreamFreed) OnStreamFreed(this);
    if (nowFinished && OnFinished) OnFinished(this);
}

void H2Connection::socketClosed(int error) {
    if (finished_) return;
    const size_t openBefore = session_.openStreams();
    session_.connectionLost(error ? socketErrorText(error)
                                  : std::string("The server closed the connection"));
    afterSessionCall(openBefore);
}

} // namespace lumi
