#include "net/WSocket.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/DescriptorLimit.h"
#include "base/TextOps.h"
#include "net/TlsSession.h"
#include "net/WSocketInternal.h"

using lumi::dottedText;
using lumi::lastSocketError;
using lumi::socketErrorText;

TWSocket::TWSocket()
    : host_(std::make_unique<lumi::SocketNotifierHost>()), alive_(std::make_shared<bool>(true)) {}

TWSocket::~TWSocket() {
    destroying_ = true;
    lookupId_ = -1;
    closeHandle();
    alive_.reset();
}

// ---------------------------------------------------------------- properties

// The four connection settings change only while the socket is closed; an empty value
// clears the assigned flag.
void TWSocket::setWhileClosed(std::string& field, bool& assigned, const std::string& value,
                              const char* name) {
    const std::string trimmed = lumi::textTrim(value);
    if (trimmed == field) return;
    if (state_ != wsClosed)
        return raiseException(std::string("Cannot change ") + name + " if not closed");
    field = trimmed;
    assigned = !field.empty();
}

void TWSocket::setAddr(const std::string& value) {
    setWhileClosed(addr_, addrAssigned_, value, "Addr");
}
void TWSocket::setPort(const std::string& value) {
    setWhileClosed(port_, portAssigned_, value, "Port");
}
void TWSocket::setProto(const std::string& value) {
    setWhileClosed(proto_, protoAssigned_, value, "Proto");
}
void TWSocket::setLocalPort(const std::string& value) {
    setWhileClosed(localPort_, localPortAssigned_, value, "LocalPort");
}

// ---------------------------------------------------------------- errors and state

void TWSocket::changeState(TSocketState newState) {
    const TSocketState old = state_;
    state_ = newState;
    if (old != newState && OnChangeState && !destroying_) OnChangeState(this, old, newState);
}

void TWSocket::raiseException(const std::string& message) {
    if (OnError) {
        OnError(this);
        return;
    }
    throw ESocketException(message);
}

void TWSocket::socketError(const char* operation, int code) {
    if (code == 0) code = lastSocketError();
    const std::string message = "Error " + std::to_string(code) + " in function " + operation +
                                "\r\n" + socketErrorText(code);
    if (code == lumi::wsaECONNRESET || code == lumi::wsaENOTCONN) {
        closeHandle();
        state_ = wsClosed;
    }
    lastError_ = code;
    raiseException(message);
}

void TWSocket::restoreDefaults() {
    // Assigned as new strings: GCC 12 at -O3 reports a false overlap (-Wrestrict) in the
    // in-place copy that assigning a literal compiles to.
    proto_ = std::string("tcp");
    protoAssigned_ = true;
    socketType_ = SOCK_STREAM;
    localPort_ = std::string("0");
    localPortAssigned_ = true;
    tlsHost_.clear();
    addr_.clear();
    port_.clear();
    addrAssigned_ = portAssigned_ = false;
    lingerOnOff_ = wsLingerOn;
    lingerTimeout_ = 0;
    flushTimeout_ = 60;
    readCount_ = 0;
    closeFired_ = false;
    peerClosed_ = false;
}

void TWSocket::applyLinger() {
    if (lingerOnOff_ == wsLingerNoSet || handle_ < 0) return;
    linger l{};
    l.l_onoff = lingerOnOff_ == wsLingerOn ? 1 : 0;
    l.l_linger = lingerTimeout_;
    if (setsockopt(handle_, SOL_SOCKET, SO_LINGER, &l, sizeof l) != 0)
        socketError("setsockopt(SO_LINGER)");
}

void TWSocket::Connect() {
    if (handle_ >= 0 && state_ != wsClosed) return raiseException("Connect: Socket already in use");
    if (!portAssigned_) return raiseException("Connect: No Port Specified");
    if (!addrAssigned_) return raiseException("Connect: No IP Address Specified");
    if (!protoAssigned_) return raiseException("Connect: No Protocol Specified");

    uint32_t address = 0;
    uint16_t port = 0, localPort = 0;
    if (!resolveFor("connect", address, port, localPort)) return;

    sendBuffers_.clear();
    allSent_ = true;
    lineBuffer_.clear();
    const int fd = ::socket(AF_INET, socketType_ | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return socketError("Connect (socket)");
    if (lumi::withinDescriptorReserve(fd)) {
        ::close(fd);
        return socketError("Connect (socket)", lumi::wsaEMFILE);
    }
    handle_ = fd;
    closeFired_ = false;
    peerClosed_ = false;
    changeState(wsOpened);

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(localPort);
    const int on = 1;
    if (socketType_ == SOCK_STREAM) {
        if (localPort != 0 && bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
            return socketError("bind");
        applyLinger();
        if (setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0)
            return socketError("setsockopt(SO_KEEPALIVE)");
        if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
            return socketError("setsockopt(SO_REUSEADDR)");
        // A request follows the TLS handshake's last small record at once, rather than
        // waiting for the peer's delayed acknowledgement of it (Nagle).
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    } else {
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
            return socketError("bind");
        if (address == INADDR_BROADCAST) setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    }

    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = address;
    if (socketType_ == SOCK_DGRAM) {
        if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0)
            return socketError("Connect");
        setupNotifiers(false);
        changeState(wsConnected);
        if (OnSessionConnected) OnSessionConnected(this, 0);
        return;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0 &&
        errno != EINPROGRESS) {
        lastError_ = lastSocketError();
        return socketError("Connect", lastError_);
    }
    changeState(wsConnecting);
    // The first writability after a non-blocking connect reports its outcome.
    setupNotifiers(true);
}

// ---------------------------------------------------------------- close

void TWSocket::closeHandle() {
    if (host_) dropNotifiers();
    tlsForget();
    if (handle_ >= 0) {
        ::close(handle_);
        ++handleSerial_;
    }
    handle_ = -1;
    writePosted_ = false;
    sendBuffers_.clear();
    allSent_ = true;
    lineBuffer_.clear();
    lineReady_ = false;
}

void TWSocket::fireSessionClosed(int error) {
    if (destroying_ || closeFired_) return;
    closeFired_ = true;
    if (OnSessionClosed) OnSessionClosed(this, error);
}

void TWSocket::innerClose(bool sendShutdown) {
    std::weak_ptr<bool> guard = alive_;
    if (handle_ >= 0 && state_ != wsClosed) {
        if (sendShutdown) tlsSendCloseNotify();
        if (sendShutdown && socketType_ == SOCK_STREAM) ::shutdown(handle_, SHUT_WR);
        // A partial line still buffered is offered before the buffer goes.
        if (lineMode_ && !lineBuffer_.empty() && OnDataAvailable && !destroying_) {
            lineReady_ = true;
            try {
                OnDataAvailable(this, 0);
            } catch (...) {
            }
            if (guard.expired()) return;
        }
        closeHandle();
        changeState(wsClosed);
        if (guard.expired()) return;
        fireSessionClosed(0);
        if (guard.expired()) return;
        restoreDefaults();
        return;
    }
    closeHandle();
    if (state_ != wsClosed) changeState(wsClosed);
    if (guard.expired()) return;
    restoreDefaults();
}

void TWSocket::Close() {
    innerClose(true);
}

void TWSocket::Abort() {
    if (lookupId_ >= 0) {
        lookupId_ = -1;
    }
    sendBuffers_.clear();
    allSent_ = true;
    if (handle_ >= 0 && socketType_ == SOCK_STREAM && state_ == wsConnected) {
        lingerOnOff_ = wsLingerOff;
        linger l{};
        setsockopt(handle_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    innerClose(false);
}

// ---------------------------------------------------------------- listen and accept

void TWSocket::Listen() {
    if (handle_ >= 0 && state_ != wsClosed) return raiseException("Listen: Socket already in use");
    if (!portAssigned_) return raiseException("Listen: No Port Specified");
    const std::string savedAddr = addr_;
    if (!addrAssigned_) addr_ = "0.0.0.0";
    uint32_t address = 0;
    uint16_t port = 0, localPort = 0;
    const bool resolved = resolveFor("listen", address, port, localPort);
    addr_ = savedAddr;
    if (!resolved) return;
    const int fd = ::socket(AF_INET, socketType_ | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return socketError("Listen (socket)");
    handle_ = fd;
    closeFired_ = false;
    changeState(wsOpened);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return socketError("bind");
    changeState(wsBound);
    if (socketType_ == SOCK_STREAM) {
        if (::listen(fd, SOMAXCONN) != 0) return socketError("listen");
        changeState(wsListening);
    }
    setupNotifiers(false);
}

int TWSocket::Accept() {
    if (handle_ < 0 || state_ != wsListening) return -1;
    const int fd = ::accept4(handle_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        lastError_ = lastSocketError();
        return -1;
    }
    return fd;
}

void TWSocket::Dup(int newHandle) {
    if (newHandle < 0) return socketError("Dup", lumi::wsaENOTSOCK);
    if (handle_ >= 0 && state_ != wsClosed) closeHandle();
    handle_ = newHandle;
    socketType_ = SOCK_STREAM;
    closeFired_ = false;
    peerClosed_ = false;
    sendBuffers_.clear();
    allSent_ = true;
    const int flags = fcntl(newHandle, F_GETFL);
    if (flags >= 0) fcntl(newHandle, F_SETFL, flags | O_NONBLOCK);
    changeState(wsConnected);
    setupNotifiers(false);
}

namespace {
bool socketName(int fd, bool peer, sockaddr_in& out) {
    socklen_t len = sizeof out;
    return fd >= 0 && (peer ? getpeername(fd, reinterpret_cast<sockaddr*>(&out), &len)
                            : getsockname(fd, reinterpret_cast<sockaddr*>(&out), &len)) == 0;
}
} // namespace

std::string TWSocket::GetPeerAddr() const {
    sockaddr_in a{};
    return socketName(handle_, true, a) ? dottedText(a.sin_addr) : std::string("error");
}

std::string TWSocket::GetPeerPort() const {
    sockaddr_in a{};
    return socketName(handle_, true, a) ? std::to_string(ntohs(a.sin_port)) : std::string("error");
}

std::string TWSocket::GetXPort() const {
    sockaddr_in a{};
    return socketName(handle_, false, a) ? std::to_string(ntohs(a.sin_port)) : std::string("error");
}
