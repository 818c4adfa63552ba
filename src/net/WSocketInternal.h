#pragma once
// Pieces the files of TWSocket share: the socket's private QObject, the last system error in
// the classic numbering, the dotted address text, and the guard every notification runs under.
#include <cerrno>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>

#include "net/WSocket.h"

namespace lumi {

// The socket's private QObject: owner of the readiness notifiers and target of the calls
// the socket posts to itself, so that both vanish with the socket.
class SocketNotifierHost : public QObject {
public:
    QPointer<QSocketNotifier> readNotifier;
    QPointer<QSocketNotifier> writeNotifier;
};

inline int lastSocketError() {
    return socketErrorFromErrno(errno);
}

inline std::string dottedText(in_addr address) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, buf, sizeof buf);
    return buf;
}

} // namespace lumi

template <class Body> void TWSocket::runNotification(Body&& body) {
    std::weak_ptr<bool> guard = alive_;
    auto background = [&](const std::exception& e) {
        if (guard.expired()) return;
        bool canClose = true;
        if (OnBgException) {
            try {
                OnBgException(this, e, canClose);
            } catch (...) {
            }
        }
        if (!guard.expired() && canClose) {
            try {
                Abort();
            } catch (...) {
            }
        }
    };
    try {
        body();
    } catch (const std::exception& e) {
        background(e);
    } catch (...) {
        background(std::runtime_error("unknown exception"));
    }
}
