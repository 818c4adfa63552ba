#include <cstring>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QPointer>

#include "base/TextOps.h"
#include "net/WSocket.h"
#include "net/WSocketInternal.h"

using lumi::dottedText;

namespace {

// Longest host name the resolver is asked about.
constexpr size_t maxHostNameLength = 256;
// Longest protocol name accepted.
constexpr size_t maxProtoNameLength = 31;

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
    const std::string protoLower = lumi::textLower(proto_);
    if (leadingDecimal(proto_, number)) {
        protocol = static_cast<int>(number);
    } else if (protoLower == "tcp" || protoLower == "udp") {
        // Known without /etc/protocols, which cannot be opened once descriptors run out.
        protocol = protoLower == "tcp" ? IPPROTO_TCP : IPPROTO_UDP;
    } else {
        const protoent* pe = getprotobyname(protoLower.c_str());
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
