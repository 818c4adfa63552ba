#include "base/TextOps.h"
#include "net/HttpCliInternal.h"

// ---------------------------------------------------------------- relocation

// Computes the next request from a Location value; false when the request has been ended
// because the value names a protocol this client cannot speak.
bool THttpCli::relocate(const std::string& value) {
    // An empty value names no other document: the answer is taken as it is, rather than
    // asking for the same address again until the relocation bound ends the request.
    if (lumi::withoutFragment(value).empty()) return true;
    const lumi::ResolvedLocation next = lumi::resolveLocation(current_, value);
    if (!next.unsupportedScheme.empty()) {
        stopOnBrokenResponse(lumi::httpUnsupportedRelocationError,
                             "Relocation to an unsupported protocol: " + next.unsupportedScheme);
        return false;
    }
    current_ = next.address;
    hostLine_ = lumi::hostWithPort(current_);
    if (Proxy.empty() || current_.tls) {
        // Direct, or inside a tunnel through the proxy: origin-form.
        requestPath_ = lumi::escapeRequestTarget(current_.path);
        if (Proxy.empty()) {
            connectHost_ = current_.host;
            connectPort_ = lumi::portOrDefault(current_);
        }
    } else {
        requestPath_ = lumi::escapeRequestTarget(
            "http://" + current_.host + (current_.port.empty() ? "" : ":" + current_.port) +
            current_.path);
    }
    location_ = requestPath_;
    relocationPending_ = true;
    return true;
}

void THttpCli::relocationClosed() {
    connected_ = false;
    relocationPending_ = false;
    closedHandler_ = ClosedHandler::Completion;
    // Redirect loops would otherwise run for ever: downloads have no time-out of their own.
    if (++relocationCount_ > lumi::httpMaxRelocations) {
        requestDoneError_ = lumi::httpTooManyRedirectsError;
        statusCode_ = 404;
        reasonPhrase_ =
            "Too many relocations (more than " + std::to_string(lumi::httpMaxRelocations) + ")";
        completion();
        return;
    }
    const unsigned generation = generation_;
    if (!fire(OnLocationChange)) return;
    post(&THttpCli::deferredRestart, generation);
}

void THttpCli::deferredRestart() {
    if (state_ == httpReady || state_ == httpAborting) return;
    resetAnswer();
    reused_ = false;
    startLookup(false);
}
