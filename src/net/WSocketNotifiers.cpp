#include <cerrno>

#include <sys/socket.h>

#include <QMetaObject>

#include "net/WSocket.h"
#include "net/WSocketInternal.h"

// ---------------------------------------------------------------- notifiers

void TWSocket::setupNotifiers(bool watchWriteNow) {
    dropNotifiers();
    const int fd = handle_;
    const uint64_t serial = handleSerial_;
    auto* rn = new QSocketNotifier(fd, QSocketNotifier::Read, host_.get());
    auto* wn = new QSocketNotifier(fd, QSocketNotifier::Write, host_.get());
    host_->readNotifier = rn;
    host_->writeNotifier = wn;
    QObject::connect(rn, &QSocketNotifier::activated, host_.get(), [this, fd, serial] {
        if (!isCurrent(fd, serial) || paused_) return;
        runNotification([this] { readNotification(); });
    });
    QObject::connect(wn, &QSocketNotifier::activated, host_.get(), [this, fd, serial] {
        if (!isCurrent(fd, serial) || paused_) return;
        runNotification([this] { writeNotification(false); });
    });
    rn->setEnabled(state_ != wsConnecting && !paused_);
    wn->setEnabled(watchWriteNow && !paused_);
}

void TWSocket::dropNotifiers() {
    for (QSocketNotifier* n : {host_->readNotifier.data(), host_->writeNotifier.data()}) {
        if (!n) continue;
        n->setEnabled(false);
        n->disconnect();
        n->deleteLater();
    }
    host_->readNotifier = nullptr;
    host_->writeNotifier = nullptr;
}

void TWSocket::watchWrite(bool on) {
    if (host_->writeNotifier) host_->writeNotifier->setEnabled(on && !paused_);
}

void TWSocket::Pause() {
    paused_ = true;
    if (host_->readNotifier) host_->readNotifier->setEnabled(false);
    watchWrite(false);
}

void TWSocket::Resume() {
    paused_ = false;
    if (handle_ < 0) return;
    if (host_->readNotifier) host_->readNotifier->setEnabled(state_ != wsConnecting);
    watchWrite(state_ == wsConnecting || !sendBuffers_.empty());
}

void TWSocket::postWriteNotification() {
    if (writePosted_) return;
    writePosted_ = true;
    const int fd = handle_;
    const uint64_t serial = handleSerial_;
    QMetaObject::invokeMethod(
        host_.get(),
        [this, fd, serial] {
            // A step posted for an earlier connection leaves the current one's alone.
            if (!isCurrent(fd, serial)) return;
            writePosted_ = false;
            if (paused_) return;
            runNotification([this] { writeNotification(true); });
        },
        Qt::QueuedConnection);
}

void TWSocket::writeNotification(bool posted) {
    const int fd = handle_;
    const uint64_t serial = handleSerial_;
    std::weak_ptr<bool> guard = alive_;
    if (state_ == wsConnecting) {
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
        const int code = lumi::socketErrorFromErrno(err);
        changeState(wsConnected);
        if (guard.expired()) return;
        if (code == 0 && host_->readNotifier) host_->readNotifier->setEnabled(!paused_);
        watchWrite(false);
        if (OnSessionConnected) OnSessionConnected(this, code);
        if (guard.expired()) return;
        if (code != 0) {
            if (state_ != wsClosed) Close();
            return;
        }
        if (!isCurrent(fd, serial) || sendBuffers_.empty()) return;
    }
    if (!isCurrent(fd, serial)) return;
    const bool hadData = posted || !sendBuffers_.empty() || !allSent_;
    if (!tryToSend()) return;
    if (guard.expired() || !isCurrent(fd, serial)) return;
    if (hadData && allSent_) {
        watchWrite(false);
        if (OnDataSent) OnDataSent(this, 0);
    }
}
