#pragma once
// TWSocket: a non-blocking TCP (and UDP) socket for the user-interface thread. Lookups,
// connects, sends and receives return at once; outcomes arrive later as events raised from
// readiness notifications (QSocketNotifier) and posted calls on a private QObject that the
// socket owns. The socket owns its descriptor, its notifiers and its send buffers.
//
// Property style: read with Name(), write with setName(). Events are public std::function
// members whose first parameter is the sender; an empty function is an unassigned event.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/WSockbuf.h"

class QObject;

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };

// Raised for socket misuse and for socket errors when no OnError handler is assigned.
class ESocketException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace lumi {
// Classic socket error numbering (10061 "Connection refused", 11001 "Host not found", ...).
inline constexpr int wsaEINTR = 10004;
inline constexpr int wsaEINVAL = 10022;
inline constexpr int wsaEMFILE = 10024;
inline constexpr int wsaEWOULDBLOCK = 10035;
inline constexpr int wsaENOTSOCK = 10038;
inline constexpr int wsaECONNRESET = 10054;
inline constexpr int wsaENOTCONN = 10057;
inline constexpr int wsaETIMEDOUT = 10060;
inline constexpr int wsaECONNREFUSED = 10061;
inline constexpr int wsaHOST_NOT_FOUND = 11001;

// The text of a classic error code; "Not a WinSock error" for unknown codes.
std::string socketErrorText(int code);
// Translates an errno value into the classic numbering (unknown values map to 10022).
int socketErrorFromErrno(int err);

// Bytes read by one Receive in the line mode when no LineLimit is set.
inline constexpr size_t defaultLineLimit = 65536;

class SocketNotifierHost;
class TlsSession;
} // namespace lumi

class TWSocket {
public:
    TWSocket();
    // Cancels a pending lookup and closes the socket without firing any event.
    ~TWSocket();
    TWSocket(const TWSocket&) = delete;
    TWSocket& operator=(const TWSocket&) = delete;

    // --- properties (setters of Addr, Port, Proto, LocalPort raise unless wsClosed) ---
    const std::string& Addr() const { return addr_; }
    void setAddr(const std::string& value);
    const std::string& Port() const { return port_; }
    void setPort(const std::string& value);
    const std::string& Proto() const { return proto_; }
    void setProto(const std::string& value);
    const std::string& LocalPort() const { return localPort_; }
    void setLocalPort(const std::string& value);

    const std::string& DnsResult() const { return dnsResult_; }
    const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
    TSocketState State() const { return state_; }
    int64_t ReadCount() const { return readCount_; }
    void setReadCount(int64_t value) { readCount_ = value; }
    // Bytes waiting to be read (the line buffer's contents in the line mode).
    int64_t RcvdCount() const;
    int LastError() const { return lastError_; }
    void setLastError(int value) { lastError_ = value; }
    bool MultiThreaded() const { return multiThreaded_; }
    void setMultiThreaded(bool value) { multiThreaded_ = value; }
    int FlushTimeout() const { return flushTimeout_; }
    void setFlushTimeout(int value) { flushTimeout_ = value; }
    TSocketSendFlags SendFlags() const { return sendFlags_; }
    void setSendFlags(TSocketSendFlags value) { sendFlags_ = value; }
    TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
    void setLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
    int LingerTimeout() const { return lingerTimeout_; }
    void setLingerTimeout(int value) { lingerTimeout_ = value; }
    // The descriptor, or -1.
    int HSocket() const { return handle_; }

    // Line mode: Receive hands out one line (LineEnd included) at a time.
    bool LineMode() const { return lineMode_; }
    void setLineMode(bool value);
    const std::string& LineEnd() const { return lineEnd_; }
    void setLineEnd(const std::string& value) { lineEnd_ = value; }
    bool LineEcho() const { return lineEcho_; }
    void setLineEcho(bool value) { lineEcho_ = value; }
    bool LineEdit() const { return lineEdit_; }
    void setLineEdit(bool value) { lineEdit_ = value; }
    // Bound of the line buffer; when a line grows past it, OnLineTooLong fires and the
    // buffered bytes are handed out as they are.
    size_t LineLimit() const { return lineLimit_; }
    void setLineLimit(size_t value) { lineLimit_ = value; }

    // --- TLS (see net/TlsSession.h) ---
    // A host set before Connect makes the socket speak TLS once the TCP connection stands:
    // SNI and the certificate check use this name (the address's, never the looked-up IP),
    // and OnSessionConnected fires when the handshake is done, or with its error. Send and
    // Receive then carry plain bytes. Raises unless wsClosed; cleared when the socket closes.
    const std::string& TlsHost() const { return tlsHost_; }
    void setTlsHost(const std::string& value);
    // Starts TLS on a connected plain socket (inside a proxy's tunnel); OnSessionConnected
    // fires again when the handshake is done. port only names the peer in error texts.
    void StartTls(const std::string& host, const std::string& port);
    // The handshake's own time limit (milliseconds).
    int TlsHandshakeTimeoutMs() const { return tlsTimeoutMs_; }
    void setTlsHandshakeTimeoutMs(int value) { tlsTimeoutMs_ = value; }
    // The last TLS failure in the program's words ("Certificate problem: ... (host)"); empty
    // when none. Its number is the error OnSessionConnected reported, or LastError.
    const std::string& TlsErrorText() const { return tlsErrorText_; }
    // The peer ended the TLS stream without close_notify; readable in OnSessionClosed.
    bool TlsEndedWithoutCloseNotify() const { return tlsNoCloseNotify_; }

    // --- operations ---
    // Dotted addresses complete (OnDnsLookupDone fires) before this returns.
    void DnsLookup(const std::string& hostName);
    void CancelDnsLookup();
    void Connect();
    // Queues the bytes and writes what the network takes now. OnDataSent fires later,
    // never from inside Send. Returns len, or -1 when not connected.
    int Send(const void* data, int len);
    int SendStr(const std::string& text);
    // At most len bytes; -1 on failure (LastError set), 0 when nothing is waiting.
    int Receive(void* buffer, int len);
    // Everything waiting (one line in the line mode).
    std::string ReceiveStr();
    // Whether anything waits on the connection: bytes (over TLS also a record not yet
    // decrypted, or decrypted and not yet read), the peer's close or an error. Looked at
    // without taking anything (MSG_PEEK), so that a connection that should be silent can be
    // found stale before it is used. False when not connected.
    bool InputPending();
    // Orderly close; fires OnSessionClosed from inside, at most once per connection.
    void Close();
    // Drops unsent data and resets the connection.
    void Abort();
    // Listening: bind Addr:Port ("0.0.0.0" when Addr is empty) and listen;
    // OnSessionAvailable reports each caller.
    void Listen();
    // The descriptor of one waiting caller, or -1; hand it to another socket's Dup.
    int Accept();
    // Adopts a connected descriptor (from Accept): state wsConnected, notifications on.
    void Dup(int newHandle);
    void Pause();
    void Resume();
    std::string GetPeerAddr() const;
    std::string GetPeerPort() const;
    // The local port actually bound (useful after binding port 0).
    std::string GetXPort() const;

    // --- events ---
    std::function<void(TWSocket* sender, int error)> OnDataAvailable;
    std::function<void(TWSocket* sender, int error)> OnDataSent;
    std::function<void(TWSocket* sender, int error)> OnSessionClosed;
    std::function<void(TWSocket* sender, int error)> OnSessionAvailable;
    std::function<void(TWSocket* sender, int error)> OnSessionConnected;
    std::function<void(TWSocket* sender, int error)> OnDnsLookupDone;
    std::function<void(TWSocket* sender, TSocketState oldState, TSocketState newState)>
        OnChangeState;
    std::function<void(TWSocket* sender)> OnError;
    std::function<void(TWSocket* sender, const std::exception& e, bool& canClose)> OnBgException;
    std::function<void(TWSocket* sender)> OnLineTooLong;

private:
    friend class lumi::SocketNotifierHost;
    struct Lookup;

    void setWhileClosed(std::string& field, bool& assigned, const std::string& value,
                        const char* name);
    void changeState(TSocketState newState);
    void restoreDefaults();
    void socketError(const char* operation, int code = 0);
    void raiseException(const std::string& message);
    void resolveAll(uint32_t& address, uint16_t& port, int& protocol, uint16_t& localPort);
    bool resolveFor(const char* operation, uint32_t& address, uint16_t& port, uint16_t& localPort);
    void setupNotifiers(bool watchWrite);
    void dropNotifiers();
    void watchWrite(bool on);
    void closeHandle();
    void innerClose(bool fireEvent);
    void fireSessionClosed(int error);
    void postWriteNotification();
    bool tryToSend();
    void receiveLoop(int error);
    bool fillLineBuffer();
    void readNotification();
    void writeNotification(bool posted);
    void dnsFinished(int lookupId, int error, std::vector<std::string> addresses);
    void applyLinger();
    template <class Body> void runNotification(Body&& body);
    // TLS steps (WSocketTls.cpp).
    void tlsBegin(const std::string& host, const std::string& port);
    void tlsHandshakeStep();
    void tlsHandshakeFailed(int code, const std::string& text);
    void tlsPullInput();
    bool tlsPushOutput();
    bool tlsEncrypt(const char* data, int len);
    int tlsReceive(void* buffer, int len);
    int tlsReceiveRecord(void* buffer, int len); // what one read of the layer gives
    bool tlsHasWaiting() const;
    int64_t tlsDecryptedWaiting(size_t want) const;
    int64_t tlsRcvdCount() const;
    void tlsPostReceiveRound();
    void tlsSendCloseNotify();
    void tlsRetryUnwritten();
    void tlsForget();
    // Bytes waiting to be read: the kernel's count, or what the TLS layer holds.
    int64_t waitingToRead();

    std::unique_ptr<lumi::SocketNotifierHost> host_;
    std::shared_ptr<bool> alive_;
    int handle_ = -1;
    // Raised each time a descriptor is released. The system hands a released number out
    // again at once, so a handler that closes and connects anew gets the same number; code
    // that ran a handler compares number and serial to tell the new connection apart.
    uint64_t handleSerial_ = 0;
    bool isCurrent(int fd, uint64_t serial) const {
        return fd == handle_ && serial == handleSerial_;
    }
    TSocketState state_ = wsClosed;
    std::string addr_, port_, proto_ = "tcp", localPort_ = "0";
    bool addrAssigned_ = false, portAssigned_ = false, protoAssigned_ = true;
    bool localPortAssigned_ = true;
    int socketType_ = 1; // SOCK_STREAM
    std::string dnsResult_;
    std::vector<std::string> dnsResultList_;
    // The lookup whose result is wanted, or -1. A cancelled lookup is forgotten rather than
    // aborted in the resolver (aborting loses its queued callback): its late result carries
    // an id no longer wanted and is dropped.
    int lookupId_ = -1;
    lumi::SendBufferChain sendBuffers_;
    bool allSent_ = true;
    bool closeFired_ = false;
    bool paused_ = false;
    bool destroying_ = false;
    bool writePosted_ = false;
    int64_t readCount_ = 0;
    int lastError_ = 0;
    bool multiThreaded_ = false;
    int flushTimeout_ = 60;
    TSocketSendFlags sendFlags_ = wsSendNormal;
    TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
    int lingerTimeout_ = 0;
    bool lineMode_ = false;
    std::string lineEnd_ = "\r\n";
    bool lineEcho_ = false, lineEdit_ = false;
    size_t lineLimit_ = lumi::defaultLineLimit;
    std::string lineBuffer_;
    bool lineReady_ = false;
    bool peerClosed_ = false;
    int receiveCalls_ = 0;           // Receive calls made by the current handler round
    bool lastReceiveFilled_ = false; // the last of them filled the caller's buffer
    std::unique_ptr<lumi::TlsSession> tls_;
    std::string tlsHost_, tlsErrorText_;
    mutable std::string tlsPlain_; // decrypted by a count of waiting bytes, not yet handed out
    mutable bool tlsCloseNotifySeen_ = false;
    std::string tlsUnwritten_; // sent before the handshake finished
    int tlsTimeoutMs_ = 30000;
    bool tlsNoCloseNotify_ = false;
    // The receive error that ended the TLS stream (a reset), or 0 for an orderly end.
    int tlsPeerError_ = 0;
};
