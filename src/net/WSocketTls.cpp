// TWSocket's TLS layer: the socket reads network bytes into its TlsSession and sends what
// the session hands back, from the same readiness notifications as plain data.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/ioctl.h>
#include <sys/socket.h>

#include <QMetaObject>
#include <QTimer>

#include "net/TlsSession.h"
#include "net/WSocket.h"
#include "net/WSocketInternal.h"

namespace {

// Network bytes held undecrypted in the TLS layer before the socket stops reading: the
// rest waits in the kernel, so a slow reader never makes memory grow. Room for a full body
// read (BodyReadSize) and its records' overhead.
constexpr size_t tlsInputLimit = 320 * 1024;
// Bytes decrypted ahead when a handler asks how many are waiting.
constexpr size_t tlsPlainLimit = 64 * 1024;
constexpr size_t tlsReadChunk = 16 * 1024;
constexpr size_t tlsNetworkChunk = 64 * 1024;

// Stops the time limit; the timer may be the sender of the call running now.
void dropTimer(QPointer<QTimer>& timer) {
    if (!timer) return;
    timer->stop();
    timer->deleteLater();
    timer = nullptr;
}

} // namespace

void TWSocket::setTlsHost(const std::string& value) {
    if (value == tlsHost_) return;
    if (state_ != wsClosed) return raiseException("Cannot change TlsHost if not closed");
    tlsHost_ = value;
}

void TWSocket::StartTls(const std::string& host, const std::string& port) {
    if (state_ != wsConnected || handle_ < 0) {
        socketError("StartTls", lumi::wsaENOTCONN);
        return;
    }
    tlsHost_ = host;
    tlsBegin(host, port);
}

void TWSocket::tlsBegin(const std::string& host, const std::string& port) {
    tls_ = std::make_unique<lumi::TlsSession>(host, port);
    tlsErrorText_.clear();
    tlsPlain_.clear();
    tlsUnwritten_.clear();
    tlsCloseNotifySeen_ = false;
    tlsNoCloseNotify_ = false;
    tlsPeerError_ = 0;
    if (tls_->errorCode() != 0) return tlsHandshakeFailed(tls_->errorCode(), tls_->errorText());
    dropTimer(host_->tlsTimer);
    auto* timer = new QTimer(host_.get());
    timer->setSingleShot(true);
    const int fd = handle_;
    const uint64_t serial = handleSerial_;
    const std::string peer = tls_->peer();
    QObject::connect(timer, &QTimer::timeout, host_.get(), [this, fd, serial, peer] {
        if (!isCurrent(fd, serial) || !tls_ || tls_->handshakeDone()) return;
        runNotification([&] {
            tlsHandshakeFailed(lumi::tlsHandshakeTimedOut,
                               lumi::tlsTimeoutText(peer, tlsTimeoutMs_));
        });
    });
    host_->tlsTimer = timer;
    timer->start(tlsTimeoutMs_);
    tlsHandshakeStep();
}

void TWSocket::tlsHandshakeStep() {
    const int fd = handle_;
    const uint64_t serial = handleSerial_;
    const lumi::TlsSession::Step step = tls_->handshake();
    if (!tlsPushOutput() || !isCurrent(fd, serial)) return;
    if (step == lumi::TlsSession::Step::WantInput) {
        if (peerClosed_)
            tlsHandshakeFailed(lumi::tlsHandshakeFailed,
                               "TLS handshake failed: " +
                                   (tlsPeerError_ ? lumi::socketErrorText(tlsPeerError_)
                                                  : std::string("connection closed by peer")) +
                                   " (" + tls_->peer() + ")");
        return;
    }
    if (step == lumi::TlsSession::Step::Failed)
        return tlsHandshakeFailed(tls_->errorCode(), tls_->errorText());
    dropTimer(host_->tlsTimer);
    std::weak_ptr<bool> guard = alive_;
    tlsRetryUnwritten();
    if (guard.expired() || !isCurrent(fd, serial)) return;
    if (OnSessionConnected) OnSessionConnected(this, 0);
    if (guard.expired() || !isCurrent(fd, serial)) return;
    // Records that came with the handshake's last flight sit in the layer already.
    if (tlsHasWaiting()) tlsPostReceiveRound();
}

void TWSocket::tlsHandshakeFailed(int code, const std::string& text) {
    if (host_) dropTimer(host_->tlsTimer);
    tlsErrorText_ = text;
    lastError_ = code;
    std::weak_ptr<bool> guard = alive_;
    if (OnSessionConnected) OnSessionConnected(this, code);
    if (guard.expired()) return;
    if (state_ != wsClosed) Close();
}

void TWSocket::tlsPullInput() {
    char chunk[tlsNetworkChunk];
    while (handle_ >= 0 && tls_->inputWaiting() < tlsInputLimit) {
        const ssize_t n = ::recv(handle_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            tls_->putInput(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) tlsPeerError_ = lumi::lastSocketError();
        if (n == 0 || tlsPeerError_ != 0) peerClosed_ = true;
        break;
    }
}

// Sends what the TLS layer wants sent; false when the socket was closed meanwhile.
bool TWSocket::tlsPushOutput() {
    std::string out;
    tls_->takeOutput(out);
    if (out.empty()) return true;
    sendBuffers_.append(out.data(), out.size());
    allSent_ = false;
    return tryToSend();
}

// Encrypts into the send buffers; false when nothing was queued (the handshake is still
// running, or the layer has failed).
bool TWSocket::tlsEncrypt(const char* data, int len) {
    if (!tls_->handshakeDone() || !tlsUnwritten_.empty()) {
        tlsUnwritten_.append(data, static_cast<size_t>(len));
        return false;
    }
    if (!tls_->write(data, len)) {
        if (tls_->errorCode() == 0) {
            tlsUnwritten_.append(data, static_cast<size_t>(len));
        } else {
            // The next receive round meets the failure and closes with its error.
            tlsErrorText_ = tls_->errorText();
            lastError_ = tls_->errorCode();
            tlsPostReceiveRound();
        }
        return false;
    }
    std::string out;
    tls_->takeOutput(out);
    sendBuffers_.append(out.data(), out.size());
    return true;
}

// Records are drained in one pass: decrypted bytes are gathered until the buffer is full or
// nothing more can be decrypted now. What stopped the gathering (no input yet, the end, a
// broken record) is met again by the next call, which returns it.
int TWSocket::tlsReceive(void* buffer, int len) {
    int total = tlsReceiveRecord(buffer, len);
    const int errorBefore = lastError_;
    while (total > 0 && total < len && handle_ >= 0) {
        const int more = tlsReceiveRecord(static_cast<char*>(buffer) + total, len - total);
        if (more <= 0) {
            lastError_ = errorBefore;
            break;
        }
        total += more;
    }
    return total;
}

int TWSocket::tlsReceiveRecord(void* buffer, int len) {
    if (!tlsPlain_.empty()) {
        const size_t n = std::min(tlsPlain_.size(), static_cast<size_t>(len));
        std::memcpy(buffer, tlsPlain_.data(), n);
        tlsPlain_.erase(0, n);
        return static_cast<int>(n);
    }
    if (tlsCloseNotifySeen_) {
        peerClosed_ = true;
        return 0;
    }
    if (!tls_->handshakeDone()) {
        lastError_ = lumi::wsaEWOULDBLOCK;
        return -1;
    }
    for (;;) {
        int got = 0;
        const lumi::TlsSession::ReadResult r = tls_->read(static_cast<char*>(buffer), len, got);
        const int fd = handle_;
        const uint64_t serial = handleSerial_;
        if (!tlsPushOutput() || !isCurrent(fd, serial)) {
            lastError_ = lumi::wsaENOTCONN;
            return -1;
        }
        switch (r) {
        case lumi::TlsSession::ReadResult::Data:
            return got;
        case lumi::TlsSession::ReadResult::Ended:
            tlsCloseNotifySeen_ = true;
            peerClosed_ = true;
            return 0;
        case lumi::TlsSession::ReadResult::Failed:
            tlsErrorText_ = tls_->errorText();
            lastError_ = tls_->errorCode();
            return -1;
        case lumi::TlsSession::ReadResult::WantInput:
            break;
        }
        const size_t before = tls_->inputWaiting();
        tlsPullInput();
        if (tls_->inputWaiting() > before) continue;
        // Only an orderly end is the end of the stream; a reset is the read's error.
        if (peerClosed_ && tlsPeerError_ != 0) {
            lastError_ = tlsPeerError_;
            return -1;
        }
        if (peerClosed_) return 0;
        lastError_ = lumi::wsaEWOULDBLOCK;
        return -1;
    }
}

// Bytes written before the handshake ended, or while the layer wanted input first.
void TWSocket::tlsRetryUnwritten() {
    if (tlsUnwritten_.empty() || !tls_->handshakeDone()) return;
    const std::string pending = std::move(tlsUnwritten_);
    tlsUnwritten_.clear();
    Send(pending.data(), static_cast<int>(pending.size()));
}

bool TWSocket::tlsHasWaiting() const {
    return !tlsPlain_.empty() || tls_->plainWaiting() > 0 || tls_->inputWaiting() > 0;
}

// Decrypts what the layer holds until `want` bytes wait decrypted (or nothing more can be
// decrypted): a count of waiting bytes must see the bytes inside the layer.
int64_t TWSocket::tlsDecryptedWaiting(size_t want) const {
    char chunk[tlsReadChunk];
    while (tls_->handshakeDone() && !tlsCloseNotifySeen_ && tlsPlain_.size() < want) {
        int got = 0;
        const lumi::TlsSession::ReadResult r = tls_->read(chunk, sizeof chunk, got);
        if (r == lumi::TlsSession::ReadResult::Ended) tlsCloseNotifySeen_ = true;
        if (r != lumi::TlsSession::ReadResult::Data) break;
        tlsPlain_.append(chunk, static_cast<size_t>(got));
    }
    return static_cast<int64_t>(tlsPlain_.size());
}

int64_t TWSocket::tlsRcvdCount() const {
    return tlsDecryptedWaiting(tlsPlainLimit);
}

int64_t TWSocket::waitingToRead() {
    if (tls_) {
        tlsPullInput();
        // A broken record is waiting too: the next Receive reports it.
        if (tls_->errorCode() != 0) return 1;
        if (tls_->plainWaiting() > 0) return static_cast<int64_t>(tls_->plainWaiting());
        const int64_t decrypted = tlsDecryptedWaiting(1);
        if (!tlsPushOutput()) return 0; // what the reads wanted sent (a key update's answer)
        // A record that broke just now is waiting as well: the next Receive reports it.
        if (decrypted == 0 && tls_->errorCode() != 0) return 1;
        if (tlsCloseNotifySeen_ && decrypted == 0) peerClosed_ = true;
        return decrypted;
    }
    int waiting = 0;
    if (handle_ < 0 || ioctl(handle_, FIONREAD, &waiting) < 0) return 0;
    return waiting;
}

// Decrypted bytes leave nothing readable on the descriptor: the next round is posted.
void TWSocket::tlsPostReceiveRound() {
    const int fd = handle_;
    const uint64_t serial = handleSerial_;
    QMetaObject::invokeMethod(
        host_.get(),
        [this, fd, serial] {
            if (!isCurrent(fd, serial) || paused_ || !tls_) return;
            runNotification([this] { readNotification(); });
        },
        Qt::QueuedConnection);
}

void TWSocket::tlsSendCloseNotify() {
    if (!tls_ || !tls_->handshakeDone() || handle_ < 0) return;
    tls_->shutdown();
    std::string out;
    tls_->takeOutput(out);
    if (!out.empty()) ::send(handle_, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void TWSocket::tlsForget() {
    if (host_) dropTimer(host_->tlsTimer);
    tls_.reset();
    tlsPlain_.clear();
    tlsUnwritten_.clear();
}
