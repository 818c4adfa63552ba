#include "net/WSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>

#include "base/TextOps.h"

namespace lumi {

// The socket's private QObject: owner of the readiness notifiers and target of the calls
// the socket posts to itself, so that both vanish with the socket.
class SocketNotifierHost : public QObject {
public:
    QPointer<QSocketNotifier> readNotifier;
    QPointer<QSocketNotifier> writeNotifier;
};

} // namespace lumi

namespace {

// Longest host name the resolver is asked about.
constexpr size_t maxHostNameLength = 256;
// Longest protocol name accepted.
constexpr size_t maxProtoNameLength = 31;
// Bytes read and dropped per round when nobody handles incoming data.
constexpr int discardChunk = 1024;
// Rounds of the receive loop in which a handler may take nothing before the loop gives up.
constexpr int idleReceiveRounds = 2;

const std::map<int, const char*>& errorTexts() {
    static const std::map<int, const char*> texts = {
        {0, "No Error"},
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for socket"},
        {10042, "Protocol not available"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported by protocol family"},
        {10048, "Address already in use"},
        {10049, "Address not available"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection on reset"},
        {10053, "Connection aborted"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references: can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disc quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network sub-system is unusable"},
        {10092, "WinSock DLL cannot support this application"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11002, "Non-authoritative host not found"},
        {11003, "Non-recoverable error"},
        {11004, "No Data"},
    };
    return texts;
}

int lastSocketError() {
    return lumi::socketErrorFromErrno(errno);
}

// Receiver of every lookup result. It outlives the sockets, so that each result is delivered
// (and its callback freed) even when its socket is gone; the callback then does nothing.
QObject* resolverContext() {
    static QPointer<QObject> context;
    if (!context) context = new QObject(QCoreApplication::instance());
    return context;
}

// Dotted numeric form (the forms inet_aton takes) to a network-order address.
bool parseDotted(const std::string& text, in_addr& out) {
    return !text.empty() && inet_aton(text.c_str(), &out) != 0;
}

std::string dottedText(in_addr address) {
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, buf, sizeof buf);
    return buf;
}

// Decimal digits after leading blanks, read up to the first non-digit.
bool leadingDecimal(const std::string& text, long& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 1000000)
        value = value * 10 + (text[i++] - '0');
    return true;
}

} // namespace

namespace lumi {

std::string socketErrorText(int code) {
    const auto& texts = errorTexts();
    const auto it = texts.find(code);
    return it == texts.end() ? "Not a WinSock error" : it->second;
}

int socketErrorFromErrno(int err) {
    switch (err) {
    case 0:
        return 0;
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EAGAIN:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
    case EPIPE:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    case EUSERS:
        return 10068;
    case EDQUOT:
        return 10069;
    case ESTALE:
        return 10070;
    case EREMOTE:
        return 10071;
    default:
        return 10022;
    }
}

} // namespace lumi

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

int64_t TWSocket::RcvdCount() const {
    if (lineMode_) return static_cast<int64_t>(lineBuffer_.size());
    if (handle_ < 0) return 0;
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
    proto_ = "tcp";
    protoAssigned_ = true;
    socketType_ = SOCK_STREAM;
    localPort_ = "0";
    localPortAssigned_ = true;
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

// ---------------------------------------------------------------- name lookup

void TWSocket::DnsLookup(const std::string& hostName) {
    if (lookupId_ >= 0) {
        lookupId_ = -1;
    }
    dnsResult_.clear();
    dnsResultList_.clear();
    if (hostName.empty()) {
        lastError_ = lumi::wsaEINVAL;
        raiseException("DNS lookup: invalid host name.");
        if (OnDnsLookupDone) OnDnsLookupDone(this, lumi::wsaEINVAL);
        return;
    }
    in_addr address{};
    if (parseDotted(hostName, address)) {
        dnsResult_ = dottedText(address);
        dnsResultList_.push_back(dnsResult_);
        if (OnDnsLookupDone) OnDnsLookupDone(this, 0);
        return;
    }
    if (hostName.size() > maxHostNameLength) {
        lastError_ = lumi::wsaEINVAL;
        raiseException(hostName.substr(0, maxHostNameLength) +
                       "...: can't start DNS lookup, error #" + std::to_string(lastError_));
        return;
    }
    std::weak_ptr<bool> guard = alive_;
    const int id = QHostInfo::lookupHost(
        QString::fromLatin1(hostName.data(), static_cast<qsizetype>(hostName.size())),
        resolverContext(), [this, guard](const QHostInfo& info) {
            if (guard.expired()) return;
            int error = 0;
            std::vector<std::string> addresses;
            for (const QHostAddress& a : info.addresses())
                if (a.protocol() == QAbstractSocket::IPv4Protocol)
                    addresses.push_back(a.toString().toStdString());
            switch (info.error()) {
            case QHostInfo::NoError:
                error = addresses.empty() ? 11004 : 0;
                break;
            case QHostInfo::HostNotFound:
                error = lumi::wsaHOST_NOT_FOUND;
                break;
            default:
                error = 11003;
                break;
            }
            dnsFinished(info.lookupId(), error, std::move(addresses));
        });
    lookupId_ = id;
}

void TWSocket::dnsFinished(int lookupId, int error, std::vector<std::string> addresses) {
    if (lookupId != lookupId_) return;
    lookupId_ = -1;
    dnsResultList_ = std::move(addresses);
    if (error == 0 && !dnsResultList_.empty()) dnsResult_ = dnsResultList_.front();
    runNotification([&] {
        if (OnDnsLookupDone) OnDnsLookupDone(this, error);
    });
}

void TWSocket::CancelDnsLookup() {
    if (lookupId_ < 0) return;
    lookupId_ = -1;
    if (!destroying_ && OnDnsLookupDone) OnDnsLookupDone(this, lumi::wsaEINTR);
}

// ---------------------------------------------------------------- connect

void TWSocket::resolveAll(uint32_t& address, uint16_t& port, int& protocol, uint16_t& localPort) {
    // Protocol
    long number = 0;
    if (proto_.empty() || proto_.size() > maxProtoNameLength)
        throw ESocketException("WSocketResolveProto: Invalid Protocol.");
    if (leadingDecimal(proto_, number)) {
        protocol = static_cast<int>(number);
    } else {
        const protoent* pe = getprotobyname(lumi::textLower(proto_).c_str());
        if (!pe)
            throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + proto_ + "'");
        protocol = pe->p_proto;
    }
    socketType_ = protocol == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
    const char* protoName = protocol == IPPROTO_UDP ? "udp" : "tcp";

    auto resolvePort = [&](const std::string& text) -> uint16_t {
        if (text.empty()) throw ESocketException("WSocketResolvePort: Invalid Port.");
        if (leadingDecimal(text, number)) {
            if (number > 65535)
                throw ESocketException("WSocketResolvePort: Cannot convert port '" + text + "'");
            return static_cast<uint16_t>(number);
        }
        const servent* se = getservbyname(text.c_str(), protoName);
        if (!se) throw ESocketException("WSocketResolvePort: Cannot convert port '" + text + "'");
        return ntohs(static_cast<uint16_t>(se->s_port));
    };
    port = resolvePort(port_);
    localPort = resolvePort(localPort_);

    // Address
    if (addr_.empty() || addr_.size() > maxHostNameLength)
        throw ESocketException("WSocketResolveHost: '" + addr_ + "' Invalid Hostname.");
    in_addr a{};
    if (addr_[0] >= '0' && addr_[0] <= '9') {
        if (!parseDotted(addr_, a))
            throw ESocketException("WSocketResolveHost: '" + addr_ + "' Invalid IP address.");
    } else {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        addrinfo* result = nullptr;
        if (getaddrinfo(addr_.c_str(), nullptr, &hints, &result) != 0 || !result)
            throw ESocketException("WSocketResolveHost: Cannot convert host address '" + addr_ +
                                   "'");
        a = reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr;
        freeaddrinfo(result);
    }
    address = a.s_addr;
}

// Resolves everything Connect and Listen need; a failure is raised as operation + ": " +
// its message. False when the error went to OnError instead.
bool TWSocket::resolveFor(const char* operation, uint32_t& address, uint16_t& port,
                          uint16_t& localPort) {
    int protocol = 0;
    try {
        resolveAll(address, port, protocol, localPort);
        return true;
    } catch (const ESocketException& e) {
        raiseException(std::string(operation) + ": " + e.what());
        return false;
    }
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

// ---------------------------------------------------------------- send and receive

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
    const ssize_t n = ::recv(handle_, buffer, static_cast<size_t>(len), 0);
    ++receiveCalls_;
    if (n < 0) {
        lastError_ = lastSocketError();
        lastReceiveFilled_ = false;
        return -1;
    }
    if (n == 0) peerClosed_ = true;
    lastReceiveFilled_ = n > 0 && n == len;
    readCount_ += n;
    return static_cast<int>(n);
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
        const ssize_t n = ::recv(handle_, chunk, room, MSG_DONTWAIT);
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
        if (receiveCalls_ > 0 && !lastReceiveFilled_) break;
        int waiting = 0;
        if (receiveCalls_ == 0 && (ioctl(handle_, FIONREAD, &waiting) < 0 || waiting <= 0)) break;
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
    int waiting = 0;
    int loopError = 0;
    if (ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0) {
        receiveLoop(0);
        if (guard.expired() || !isCurrent(fd, serial)) return;
        loopError = lastError_;
    }
    if (socketType_ == SOCK_DGRAM) return;
    // Nothing waits, yet the descriptor is readable: the peer has ended or reset.
    int closeError = -1;
    if (loopError == lumi::wsaECONNRESET) {
        closeError = lumi::wsaECONNRESET;
    } else if (peerClosed_) {
        closeError = 0;
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
    if (OnSessionClosed && !closeFired_) {
        closeFired_ = true;
        OnSessionClosed(this, closeError);
        if (guard.expired()) return;
    }
    if (isCurrent(fd, serial) && state_ != wsClosed) Close();
}

// ---------------------------------------------------------------- close

void TWSocket::closeHandle() {
    if (host_) dropNotifiers();
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
