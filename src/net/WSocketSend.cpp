#include <string_view>

#include <sys/socket.h>

#include "net/WSocket.h"
#include "net/WSocketInternal.h"

using lumi::lastSocketError;

// Returns false when the socket was closed meanwhile.
bool TWSocket::tryToSend() {
    if (handle_ < 0) return false;
    const int flags = MSG_NOSIGNAL | (sendFlags_ == wsSendUrgent ? MSG_OOB : 0);
    while (lumi::SendBlock* block = sendBuffers_.first()) {
        const std::string_view data = block->peek();
        if (!data.empty()) {
            const ssize_t n = ::send(handle_, data.data(), data.size(), flags);
            if (n < 0) {
                const int code = lastSocketError();
                if (code == lumi::wsaEWOULDBLOCK) {
                    allSent_ = false;
                    watchWrite(true);
                    return true;
                }
                if (code == 10022 || code == 10038 || code == lumi::wsaECONNRESET ||
                    code == lumi::wsaENOTCONN) {
                    std::weak_ptr<bool> guard = alive_;
                    closeFired_ = true;
                    lastError_ = code;
                    Close();
                    if (!guard.expired() && OnSessionClosed) OnSessionClosed(this, code);
                    return false;
                }
                socketError("TryToSend failed", code);
                return false;
            }
            block->remove(static_cast<size_t>(n));
            if (static_cast<size_t>(n) < data.size()) {
                allSent_ = false;
                watchWrite(true);
                return true;
            }
        }
        if (sendBuffers_.blockCount() > 1) {
            sendBuffers_.dropFirstIfDone();
            continue;
        }
        break;
    }
    allSent_ = true;
    return true;
}

// ---------------------------------------------------------------- send

int TWSocket::Send(const void* data, int len) {
    if (state_ != wsConnected) {
        socketError("Send", lumi::wsaENOTCONN);
        return -1;
    }
    if (len <= 0) return 0;
    sendBuffers_.append(static_cast<const char*>(data), static_cast<size_t>(len));
    allSent_ = false;
    const int fd = handle_;
    const uint64_t serial = handleSerial_;
    if (!tryToSend() || !isCurrent(fd, serial)) return len;
    if (allSent_) postWriteNotification();
    return len;
}

int TWSocket::SendStr(const std::string& text) {
    return Send(text.data(), static_cast<int>(text.size()));
}
