#include "net/HttpFailure.h"

#include "net/HttpProt.h"
#include "net/TlsSession.h"

namespace lumi {

std::string requestFailureText(const THttpCli& client, int error) {
    if (error < 0) return "the request could not start";
    if (error == httpAbortedError) return "the request was cancelled";
    // The TLS layer writes the certificate's reason, naming the host, as the reason phrase.
    if (isTlsError(error) && !client.ReasonPhrase().empty()) return client.ReasonPhrase();
    if (error >= 10000) return socketErrorText(error);
    return client.ReasonPhrase().empty() ? "error " + std::to_string(error) : client.ReasonPhrase();
}

} // namespace lumi
