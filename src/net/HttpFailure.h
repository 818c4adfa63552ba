#pragma once
// Why a request of THttpCli got no answer, in words the user can act on: the socket's own
// text ("Connection refused", "Host not found"), the certificate's reason for a TLS failure,
// or the client's reason for a broken answer. Never a bare error number.
#include <string>

class THttpCli;

namespace lumi {

// The text for the error OnRequestDone reported (not 0); -1: the request could not start.
std::string requestFailureText(const THttpCli& client, int error);

} // namespace lumi
