#include <utility>

#include <QIODevice>

#include "base/TextOps.h"
#include "net/ContentDecoding.h"
#include "net/HttpCliInternal.h"
#include "net/HttpHeaderField.h"

namespace {

// Memory kept in RcvdHeader for one request (all relocation hops together). Each line
// counts its text and its string object, so that a flood of tiny lines is bounded too.
constexpr size_t maxHeaderBytes = 1024 * 1024;
constexpr size_t headerLineCost = sizeof(std::string);
// Entries kept in the list of authentication requests.
constexpr size_t maxAuthenticateEntries = 64;

} // namespace

// ---------------------------------------------------------------- input

void THttpCli::socketDataAvailable() {
    if (tunnel_ == Tunnel::Asked) return tunnelDataAvailable();
    if (reusable_) {
        // An idle kept connection has nothing to say: whatever comes ends it.
        reusable_ = false;
        socket_->Close();
        return;
    }
    // Bytes on a kept connection before the request is out answer no request of this one.
    if (reused_ && state_ == httpNotConnected) return dropStaleConnection();
    const int freeSpace = parser_.room();
    if (freeSpace <= 0) {
        stopOnBrokenResponse(lumi::httpLineTooLongError, "HTTP line too long");
        return;
    }
    if (state_ == httpWaitingBody && parser_.empty() && kind_ != httpNone) {
        // A body block goes straight into LastResponse: the bytes are copied once, not twice.
        // A block left large by a fast stretch is given back once the reads have shrunk.
        const int want = bodyRead_.next();
        if (incoming_.capacity() > 2 * static_cast<size_t>(want)) std::string().swap(incoming_);
        incoming_.resize(static_cast<size_t>(want));
        const int got = socket_->Receive(incoming_.data(), want);
        if (got <= 0) return;
        bodyRead_.after(got);
        incoming_.resize(static_cast<size_t>(got));
        lastResponse_.swap(incoming_);
        bodyBlock();
        return;
    }
    const int n = socket_->Receive(parser_.space(), freeSpace);
    if (kind_ == httpNone || n <= 0) return;
    parser_.added(n);
    if (state_ == httpWaitingBody) {
        if (parser_.hasPending()) {
            pendingToBody();
        }
        parser_.clear();
        return;
    }
    processLines();
}

void THttpCli::processLines() {
    std::weak_ptr<bool> token = life_;
    std::string line;
    while (parser_.nextLine(line)) {
        if (state_ != httpWaitingHeader && state_ != httpWaitingBody) continue;
        lastResponse_ = std::move(line);
        if (inBody_)
            bodyBlock();
        else
            headerLine();
        if (token.expired()) return;
    }
}

void THttpCli::stopOnBrokenResponse(int error, const std::string& reason) {
    parser_.clear();
    relocationPending_ = false;
    closedHandler_ = ClosedHandler::Completion;
    requestDoneError_ = error;
    statusCode_ = 404;
    reasonPhrase_ = reason;
    if (socket_->State() != wsClosed)
        socket_->Close();
    else
        completion();
}

void THttpCli::headerLine() {
    using Kind = lumi::HttpHeaderLine::Kind;
    std::weak_ptr<bool> token = life_;
    if (headerLineCount_ == 0 && !fire(OnHeaderBegin)) return;
    ++headerLineCount_;
    const std::string line = lastResponse_;
    const lumi::HttpHeaderLine read = lumi::HttpResponseParser::readHeaderLine(line);

    if (read.kind == Kind::HtmlStart) {
        if (contentType_.empty()) contentType_ = "text/html";
        setState(httpWaitingBody);
        inBody_ = true;
        if (token.expired() || !fire(OnHeaderEnd)) return;
        if (state_ != httpWaitingBody) return;
        lastResponse_ = line;
        bodyBlock();
        return;
    }

    if (read.kind == Kind::EndOfHeader) {
        if (interimAnswer()) {
            statusCode_ = 0;
            statusLineDue_ = true;
            return;
        }
        if (relocationPending_) {
            if (!fire(OnHeaderEnd)) return;
            parser_.clear();
            headerLineCount_ = 0;
            bodyBlockCount_ = 0;
            if (!relocationPending_ || state_ != httpWaitingHeader) return;
            closedHandler_ = ClosedHandler::Relocation;
            socket_->Close();
            return;
        }
        if (lumi::textLower(lumi::textFileExt(docName_)) == ".exe" && contentType_ == "text/html")
            docName_ = docName_.substr(0, docName_.size() - 3) + "htm";
        // A chunked body carries its own framing, whatever length is announced beside it.
        if (chunked_) contentLength_ = -1;
        bodyLeft_ = announcedBodyLength();
        if (chunked_ && answerHasBody()) dechunk_.emplace();
        if (!AcceptEncoding.empty() && answerHasBody())
            decoder_ = lumi::ContentDecoder::forEncoding(
                lumi::answerFieldList(rcvdHeader_, "content-encoding"), MaxDecodedBytes);
        setState(httpWaitingBody);
        inBody_ = true;
        if (token.expired() || !fire(OnHeaderEnd)) return;
        // A handler that aborted the request has no use for the bytes after the header.
        if (state_ != httpWaitingBody) {
            parser_.clear();
            return;
        }
        if (bodyLeft_ != 0 && parser_.hasPending()) {
            pendingToBody();
            return;
        }
        overran_ = parser_.hasPending();
        parser_.clear();
        if (bodyLeft_ == 0 && socket_->State() != wsClosed) bodyComplete();
        return;
    }

    rcvdHeaderBytes_ += line.size() + headerLineCost;
    if (rcvdHeaderBytes_ > maxHeaderBytes) {
        stopOnBrokenResponse(lumi::httpLineTooLongError, "HTTP header too long");
        return;
    }
    rcvdHeader_.push_back(line);
    const bool firstLine = std::exchange(statusLineDue_, false);
    // Only the first line of an answer is its status line; a later line without a colon
    // (but for an old-style continuation) is read differently by every party: refused.
    if (!firstLine && (read.kind == Kind::StatusLine ||
                       (read.kind == Kind::Other && line[0] != ' ' && line[0] != '\t'))) {
        stopOnBrokenResponse(lumi::httpBrokenHeaderError, "Header without colon");
        return;
    }
    if (read.kind == Kind::StatusLine) {
        if (!read.validStatus) {
            stopOnBrokenResponse(lumi::httpBadNumberError, "Invalid status code in response");
            return;
        }
        statusCode_ = read.statusCode;
        reasonPhrase_ = read.reasonPhrase;
        answerStatus(line);
    } else if (read.kind == Kind::Field && !interimAnswer()) {
        // The fields of an interim answer are kept in RcvdHeader but mean nothing yet.
        const std::string& value = read.value;
        if (read.name == "location") {
            if (!relocate(value)) return;
        } else if (read.name == "content-length") {
            int64_t length = 0;
            if (!lumi::parseHttpDecimal(value, length)) {
                stopOnBrokenResponse(lumi::httpBadNumberError,
                                     "Invalid Content-Length in response");
                return;
            }
            if (contentLength_ >= 0 && length != contentLength_) {
                stopOnBrokenResponse(lumi::httpBrokenHeaderError,
                                     "Conflicting Content-Length values");
                return;
            }
            contentLength_ = length;
        } else if (read.name == "transfer-encoding") {
            chunked_ = lumi::textLower(value).find("chunked") != std::string::npos;
        } else if (read.name == "connection") {
            connectionField(value);
        } else if (read.name == "content-type") {
            contentType_ = lumi::textLower(value);
        } else if (read.name == "www-authenticate") {
            if (wwwAuthenticate_.size() < maxAuthenticateEntries) wwwAuthenticate_.push_back(value);
        } else if (read.name == "set-cookie") {
            bool accept = true;
            if (!fire(OnCookie, value, accept)) return;
        }
    }
    if (!fire(OnHeaderData)) return;
    if (statusCode_ >= 400 && !KeepErrorBody && socket_->State() != wsClosed) socket_->Close();
}

void THttpCli::pendingToBody() {
    lastResponse_ = parser_.pending();
    parser_.clear();
    bodyBlock();
}

void THttpCli::bodyBlock() {
    if (bodyLeft_ >= 0 && static_cast<int64_t>(lastResponse_.size()) > bodyLeft_) {
        overran_ = true;
        lastResponse_.resize(static_cast<size_t>(bodyLeft_));
    }
    if (bodyBlockCount_ == 0 && !fire(OnDocBegin)) return;
    ++bodyBlockCount_;
    const int rawLen = static_cast<int>(lastResponse_.size());
    rcvdCount_ += rawLen;
    if (dechunk_) {
        std::string plain;
        const bool read = dechunk_->feed(lastResponse_, [&plain](const char* data, size_t size) {
            plain.append(data, size);
            return true;
        });
        if (!read) {
            stopOnBrokenResponse(lumi::httpDecodeError, dechunk_->error());
            return;
        }
        overran_ = overran_ || dechunk_->overran();
        lastResponse_ = std::move(plain);
    }
    if (decoder_) {
        std::string decoded;
        if (!decoder_->decode(lastResponse_, decoded)) {
            stopOnBrokenResponse(lumi::httpDecodeError, decoder_->error());
            return;
        }
        lastResponse_ = std::move(decoded);
    }
    const int len = static_cast<int>(lastResponse_.size());
    if (!fire(OnDocData, static_cast<const char*>(lastResponse_.data()), len)) return;
    if (RcvdStream && len > 0 && RcvdStream->write(lastResponse_.data(), len) != len) {
        stopOnBrokenResponse(lumi::httpBodyWriteError,
                             "Cannot keep the body: " +
                                 RcvdStream->errorString().toLocal8Bit().toStdString());
        return;
    }
    if (!dechunk_ || !dechunk_->complete()) {
        if (bodyLeft_ < 0) return;
        bodyLeft_ -= rawLen;
        if (bodyLeft_ != 0) return;
    }
    // The body is complete: a server that keeps the connection open is not waited for, and
    // whatever it sends after the body is not taken.
    if (state_ == httpWaitingBody && socket_->State() != wsClosed) bodyComplete();
}

bool THttpCli::packedBodyWhole() {
    if (!decoder_ || decoder_->finish()) return true;
    stopOnBrokenResponse(lumi::httpDecodeError, decoder_->error());
    return false;
}

bool THttpCli::answerHasBody() const {
    return kind_ != httpHEAD && statusCode_ != 204 && statusCode_ != 304;
}

// The body length that ends the document: Content-Length, except for answers without a body.
int64_t THttpCli::announcedBodyLength() const {
    // Without KeepAlive the close ends whatever a server sends after such an answer.
    if (!answerHasBody()) return KeepAlive ? 0 : -1;
    return contentLength_;
}
