#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/ioctl.h>
#include <sys/socket.h>

#include <QMetaObject>

#include "net/TlsSession.h"
#include "net/WSocket.h"
#include "net/WSocketInternal.h"

using lumi::lastSocketError;

namespace {

// Bytes read and dropped per round when nobody handles incoming data.
constexpr int discardChunk = 1024;
// Rounds of the receive loop in which a handler may take nothing before the loop gives up.
constexpr int idleReceiveRounds = 2;

} // namespace

int64_t TWSocket::RcvdCount() const {
    if (lineMode_) return static_cast<int64_t>(lineBuffer_.size());
    if (handle_ < 0) return 0;
    if (tls_) return tlsRcvdCount();
    int waiting = 0;
    if (ioctl(handle_, FIONREAD, &waiting) < 0) return 0;
    return waiting;
}

void TWSocket::setLineMode(bool value) {
    if (lineMode_ == value) return;
    lineMode_ = value;
    // Data already buffered is offered again under the new mode.
    if (!lineBuffer_.empty() && handle_ >= 0) {
        std::weak_ptr<bool> guard = alive_;
        QMetaObject::invokeMethod(
            host_.get(),
            [this, guard] {
                if (!guard.expired()) runNotification([this] { receiveLoop(0); });
            },
            Qt::QueuedConnection);
    }
}

// ---------------------------------------------------------------- receive

int TWSocket::Receive(void* buffer, int len) {
    if (len < 0) len = 0;
    if (lineMode_ && lineReady_) {
        const size_t end = lineBuffer_.find(lineEnd_);
        size_t lineLen = end == std::string::npos ? lineBuffer_.size() : end + lineEnd_.size();
        const size_t n = std::min(lineLen, static_cast<size_t>(len));
        std::memcpy(buffer, lineBuffer_.data(), n);
        lineBuffer_.erase(0, n);
        if (n == lineLen) lineReady_ = false;
        readCount_ += static_cast<int64_t>(n);
        return static_cast<int>(n);
    }
    if (lineMode_ || len == 0) return 0;
    if (handle_ < 0) {
        lastError_ = lumi::wsaENOTCONN;
        return -1;
    }
    ssize_t n = 0;
    if (tls_) {
        n = tlsReceive(buffer, len);
    } else {
        n = ::recv(handle_, buffer, static_cast<size_t>(len), 0);
        if (n < 0) lastError_ = lastSocketError();
    }
    ++receiveCalls_;
    if (n < 0) {
        lastReceiveFilled_ = false;
        return -1;
    }
    if (n == 0) peerClosed_ = true;
    lastReceiveFilled_ = n > 0 && n == len;
    readCount_ += n;
    return static_cast<int>(n);
}

bool TWSocket::InputPending() {
    if (handle_ < 0 || state_ != wsConnected) return false;
    if (peerClosed_ || !lineBuffer_.empty() || (tls_ && tlsHasWaiting())) return true;
    char byte = 0;
    const ssize_t n = ::recv(handle_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    // 0 is the peer's close; an error other than "nothing yet" is waiting too.
    return n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

std::string TWSocket::ReceiveStr() {
    if (lineMode_) {
        if (!lineReady_) return {};
        const size_t end = lineBuffer_.find(lineEnd_);
        const size_t lineLen =
            end == std::string::npos ? lineBuffer_.size() : end + lineEnd_.size();
        std::string line(lineBuffer_, 0, lineLen);
        int got = Receive(line.data(), static_cast<int>(line.size()));
        line.resize(static_cast<size_t>(std::max(got, 0)));
        return line;
    }
    const int64_t waiting = RcvdCount();
    if (waiting <= 0) return {};
    std::string text(static_cast<size_t>(waiting), '\0');
    const int got = Receive(text.data(), static_cast<int>(text.size()));
    lastReceiveFilled_ = false; // everything that waited has been taken
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return text;
}

// Reads what waits into the line buffer (bounded); false when nothing came.
bool TWSocket::fillLineBuffer() {
    if (handle_ < 0) return false;
    char chunk[4096];
    bool any = false;
    while (lineBuffer_.size() < lineLimit_) {
        const size_t room = std::min(sizeof chunk, lineLimit_ - lineBuffer_.size());
        const ssize_t n = tls_ ? tlsReceive(chunk, static_cast<int>(room))
                               : ::recv(handle_, chunk, room, MSG_DONTWAIT);
        if (n <= 0) {
            if (n == 0) peerClosed_ = true;
            break;
        }
        any = true;
        readCount_ += n;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = chunk[i];
            if (lineEdit_ && c == '\b') {
                if (!lineBuffer_.empty()) lineBuffer_.pop_back();
            } else if (lineEdit_ && c == '\t') {
                do
                    lineBuffer_.push_back(' ');
                while (lineBuffer_.size() % 8 != 0);
            } else {
                lineBuffer_.push_back(c);
            }
        }
        if (lineEcho_ && state_ == wsConnected) Send(chunk, static_cast<int>(n));
        if (handle_ < 0) break;
    }
    return any;
}

void TWSocket::receiveLoop(int error) {
    std::weak_ptr<bool> guard = alive_;
    const int fd = handle_;
    const uint64_t serial = handleSerial_;
    if (lineMode_) {
        fillLineBuffer();
        while (!guard.expired() && isCurrent(fd, serial)) {
            const bool full = lineBuffer_.size() >= lineLimit_;
            const bool atClose = peerClosed_ && !lineBuffer_.empty();
            if (lineBuffer_.find(lineEnd_) == std::string::npos && !full && !atClose) break;
            if (full && lineBuffer_.find(lineEnd_) == std::string::npos && OnLineTooLong) {
                OnLineTooLong(this);
                if (guard.expired() || !isCurrent(fd, serial)) return;
            }
            lineReady_ = true;
            const size_t before = lineBuffer_.size();
            lastError_ = 0;
            if (!OnDataAvailable) {
                lineBuffer_.clear();
                lineReady_ = false;
                break;
            }
            try {
                OnDataAvailable(this, error);
            } catch (...) {
                return;
            }
            if (guard.expired() || !isCurrent(fd, serial)) return;
            if (lineBuffer_.size() == before) break; // the handler took nothing
            if (lineBuffer_.size() < lineLimit_) fillLineBuffer();
        }
        return;
    }
    int idle = 0;
    for (;;) {
        lastError_ = 0;
        const int64_t before = readCount_;
        receiveCalls_ = 0;
        lastReceiveFilled_ = false;
        if (OnDataAvailable) {
            try {
                OnDataAvailable(this, error);
            } catch (...) {
                return;
            }
            if (guard.expired() || !isCurrent(fd, serial) || handle_ < 0) return;
        } else {
            char scratch[discardChunk];
            if (Receive(scratch, sizeof scratch) < 0) break;
        }
        if (lastError_ != 0) break;
        // A read that came back short took everything the kernel had: nothing waits. A read
        // that filled the caller's buffer tells that more may wait, without asking.
        // Bytes decrypted inside the TLS layer are not counted by the kernel: it is asked.
        if (receiveCalls_ > 0 && !lastReceiveFilled_ && !(tls_ && tlsHasWaiting())) break;
        if (receiveCalls_ == 0 && waitingToRead() <= 0) break;
        // A handler that takes nothing would keep this loop busy for ever.
        idle = readCount_ == before ? idle + 1 : 0;
        if (idle >= idleReceiveRounds) break;
    }
}

void TWSocket::readNotification() {
    const int fd = handle_;
    const uint64_t serial = handleSerial_;
    std::weak_ptr<bool> guard = alive_;
    if (state_ == wsListening) {
        if (OnSessionAvailable) OnSessionAvailable(this, 0);
        return;
    }
    if (state_ == wsConnecting) return;
    if (tls_ && !tls_->handshakeDone()) {
        tlsPullInput();
        return tlsHandshakeStep();
    }
    int loopError = 0;
    const int64_t readBefore = readCount_;
    if (waitingToRead() > 0) {
        receiveLoop(0);
        if (guard.expired() || !isCurrent(fd, serial)) return;
        loopError = lastError_;
        // Decrypted bytes left behind leave the descriptor quiet: another round is posted.
        if (tls_ && readCount_ > readBefore && !peerClosed_ && tlsHasWaiting())
            tlsPostReceiveRound();
        // A write that wanted input first goes now.
        if (tls_) tlsRetryUnwritten();
        if (guard.expired() || !isCurrent(fd, serial)) return;
    }
    if (socketType_ == SOCK_DGRAM) return;
    // Nothing waits, yet the descriptor is readable: the peer has ended or reset.
    int closeError = -1;
    if (loopError == lumi::wsaECONNRESET || lumi::isTlsError(loopError)) {
        closeError = loopError;
    } else if (peerClosed_) {
        closeError = tls_ ? tlsPeerError_ : 0;
    } else {
        char probe;
        const ssize_t n = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n == 0)
            closeError = 0;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            closeError = lastSocketError();
    }
    if (closeError < 0) return;
    receiveLoop(0);
    if (guard.expired() || !isCurrent(fd, serial)) return;
    // Set at every close, so that a plain session after a TLS one never inherits it.
    tlsNoCloseNotify_ = tls_ && tls_->handshakeDone() && !tlsCloseNotifySeen_;
    if (OnSessionClosed && !closeFired_) {
        closeFired_ = true;
        OnSessionClosed(this, closeError);
        if (guard.expired()) return;
    }
    if (isCurrent(fd, serial) && state_ != wsClosed) Close();
}
