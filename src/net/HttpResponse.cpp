#include <algorithm>
#include <cstring>

#include <QIODevice>

#include "base/TextOps.h"
#include "net/HttpCliInternal.h"

namespace {

// Memory kept in RcvdHeader for one request (all relocation hops together). Each line
// counts its text and its string object, so that a flood of tiny lines is bounded too.
constexpr size_t maxHeaderBytes = 1024 * 1024;
constexpr size_t headerLineCost = sizeof(std::string);
// Entries kept in the list of authentication requests.
constexpr size_t maxAuthenticateEntries = 64;

// Decimal digits only, fitting 63 bits.
bool parseDecimal(std::string_view text, int64_t& value) {
    if (text.empty()) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        if (v > (INT64_MAX - 9) / 10) return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

} // namespace

// ---------------------------------------------------------------- input

void THttpCli::socketDataAvailable() {
    const int freeSpace = lumi::httpLineBufferSize - fillCount_;
    if (freeSpace <= 0) {
        stopOnBrokenResponse(lumi::httpLineTooLongError, "HTTP line too long");
        return;
    }
    if (state_ == httpWaitingBody && fillCount_ == 0 && kind_ != httpNone) {
        // A body block goes straight into LastResponse: the bytes are copied once, not twice.
        incoming_.resize(lumi::httpLineBufferSize);
        const int got = socket_.Receive(incoming_.data(), lumi::httpLineBufferSize);
        if (got <= 0) return;
        incoming_.resize(static_cast<size_t>(got));
        lastResponse_.swap(incoming_);
        bodyBlock();
        return;
    }
    const int n = socket_.Receive(lineBuffer_ + fillCount_, freeSpace);
    if (kind_ == httpNone || n <= 0) return;
    fillCount_ += n;
    lineBuffer_[fillCount_] = 0;
    if (state_ == httpWaitingBody) {
        if (fillCount_ > bufStart_) {
            lastResponse_.assign(lineBuffer_ + bufStart_, fillCount_ - bufStart_);
            fillCount_ = bufStart_ = 0;
            bodyBlock();
        }
        fillCount_ = bufStart_ = 0;
        return;
    }
    processLines();
}

void THttpCli::processLines() {
    std::weak_ptr<bool> token = life_;
    while (fillCount_ > bufStart_) {
        char* const start = lineBuffer_ + bufStart_;
        const size_t available = static_cast<size_t>(fillCount_ - bufStart_);
        // The buffer is read as a zero-terminated string: a zero byte hides what follows.
        const size_t visible = strnlen(start, available);
        const char* const lf = static_cast<const char*>(std::memchr(start, '\n', visible));
        if (!lf) break;
        size_t lineLen = static_cast<size_t>(lf - start);
        const size_t consumed = lineLen + 1;
        if (lineLen > 0 && start[lineLen - 1] == '\r') --lineLen;
        const bool handled = state_ == httpWaitingHeader || state_ == httpWaitingBody;
        if (handled) lastResponse_.assign(start, lineLen);
        bufStart_ += static_cast<int>(consumed);
        if (handled) {
            if (inBody_)
                bodyBlock();
            else
                headerLine();
            if (token.expired()) return;
        }
    }
    // Whatever is left moves to the front of the buffer.
    if (bufStart_ > 0) {
        const int left = std::max(0, fillCount_ - bufStart_);
        if (left > 0) std::memmove(lineBuffer_, lineBuffer_ + bufStart_, static_cast<size_t>(left));
        fillCount_ = left;
        bufStart_ = 0;
        lineBuffer_[fillCount_] = 0;
    }
}

void THttpCli::stopOnBrokenResponse(int error, const std::string& reason) {
    fillCount_ = bufStart_ = 0;
    lineBuffer_[0] = 0;
    relocationPending_ = false;
    closedHandler_ = ClosedHandler::Completion;
    requestDoneError_ = error;
    statusCode_ = 404;
    reasonPhrase_ = reason;
    if (socket_.State() != wsClosed)
        socket_.Close();
    else
        completion();
}

void THttpCli::headerLine() {
    std::weak_ptr<bool> token = life_;
    if (headerLineCount_ == 0 && !fire(OnHeaderBegin)) return;
    ++headerLineCount_;
    const std::string line = lastResponse_;

    if (line.size() >= 6 && lumi::textSameAnyCase(std::string_view(line).substr(0, 6), "<HTML>")) {
        if (contentType_.empty()) contentType_ = "text/html";
        setState(httpWaitingBody);
        inBody_ = true;
        if (token.expired() || !fire(OnHeaderEnd)) return;
        if (state_ != httpWaitingBody) return;
        lastResponse_ = line;
        bodyBlock();
        return;
    }

    if (line.empty()) {
        if (interimAnswer()) {
            statusCode_ = 0;
            return;
        }
        if (relocationPending_) {
            if (!fire(OnHeaderEnd)) return;
            fillCount_ = bufStart_ = 0;
            headerLineCount_ = 0;
            bodyBlockCount_ = 0;
            if (!relocationPending_ || state_ != httpWaitingHeader) return;
            closedHandler_ = ClosedHandler::Relocation;
            socket_.Close();
            return;
        }
        if (lumi::textLower(lumi::textFileExt(docName_)) == ".exe" && contentType_ == "text/html")
            docName_ = docName_.substr(0, docName_.size() - 3) + "htm";
        bodyLeft_ = announcedBodyLength();
        setState(httpWaitingBody);
        inBody_ = true;
        if (token.expired() || !fire(OnHeaderEnd)) return;
        // A handler that aborted the request has no use for the bytes after the header.
        if (state_ != httpWaitingBody) {
            fillCount_ = bufStart_ = 0;
            return;
        }
        if (bodyLeft_ != 0 && fillCount_ > bufStart_) {
            lastResponse_.assign(lineBuffer_ + bufStart_, fillCount_ - bufStart_);
            fillCount_ = bufStart_ = 0;
            bodyBlock();
            return;
        }
        fillCount_ = bufStart_ = 0;
        if (bodyLeft_ == 0 && socket_.State() != wsClosed) socket_.Close();
        return;
    }

    rcvdHeaderBytes_ += line.size() + headerLineCost;
    if (rcvdHeaderBytes_ > maxHeaderBytes) {
        stopOnBrokenResponse(lumi::httpLineTooLongError, "HTTP header too long");
        return;
    }
    rcvdHeader_.push_back(line);
    if (line.compare(0, 8, "HTTP/1.0") == 0 || line.compare(0, 8, "HTTP/1.1") == 0) {
        int64_t status = 0;
        if (!parseDecimal(lumi::textCopy(line, 10, 3), status)) {
            stopOnBrokenResponse(lumi::httpBadNumberError, "Invalid status code in response");
            return;
        }
        statusCode_ = static_cast<int>(status);
        reasonPhrase_ = lumi::textCopy(line, 14, INT32_MAX);
    } else {
        const size_t colon = line.find(':');
        // The fields of an interim answer are kept in RcvdHeader but mean nothing yet.
        if (colon != std::string::npos && !interimAnswer()) {
            const std::string name = lumi::textLower(std::string_view(line).substr(0, colon));
            // The value goes without the blanks and tabs around it, however many there are.
            const std::string value = lumi::textTrim(std::string_view(line).substr(colon + 1));
            if (name == "location") {
                if (!relocate(value)) return;
            } else if (name == "content-length") {
                int64_t length = 0;
                if (!parseDecimal(value, length)) {
                    stopOnBrokenResponse(lumi::httpBadNumberError,
                                         "Invalid Content-Length in response");
                    return;
                }
                contentLength_ = length;
            } else if (name == "content-type") {
                contentType_ = lumi::textLower(value);
            } else if (name == "www-authenticate") {
                if (wwwAuthenticate_.size() < maxAuthenticateEntries)
                    wwwAuthenticate_.push_back(value);
            } else if (name == "set-cookie") {
                bool accept = true;
                if (!fire(OnCookie, value, accept)) return;
            }
        }
    }
    if (!fire(OnHeaderData)) return;
    if (statusCode_ >= 400 && socket_.State() != wsClosed) socket_.Close();
}

void THttpCli::bodyBlock() {
    if (bodyLeft_ >= 0 && static_cast<int64_t>(lastResponse_.size()) > bodyLeft_)
        lastResponse_.resize(static_cast<size_t>(bodyLeft_));
    if (bodyBlockCount_ == 0 && !fire(OnDocBegin)) return;
    ++bodyBlockCount_;
    const int len = static_cast<int>(lastResponse_.size());
    rcvdCount_ += len;
    if (!fire(OnDocData, static_cast<const char*>(lastResponse_.data()), len)) return;
    if (RcvdStream && len > 0 && RcvdStream->write(lastResponse_.data(), len) != len) {
        stopOnBrokenResponse(lumi::httpBodyWriteError,
                             "Cannot keep the body: " +
                                 RcvdStream->errorString().toLocal8Bit().toStdString());
        return;
    }
    if (bodyLeft_ < 0) return;
    bodyLeft_ -= len;
    // The announced body is complete: a server that keeps the connection open is not waited
    // for, and whatever it sends after the body is not taken.
    if (bodyLeft_ == 0 && state_ == httpWaitingBody && socket_.State() != wsClosed) socket_.Close();
}

// The body length that ends the document: Content-Length, except for answers without a body.
int64_t THttpCli::announcedBodyLength() const {
    if (kind_ == httpHEAD || statusCode_ == 204 || statusCode_ == 304) return -1;
    return contentLength_;
}
