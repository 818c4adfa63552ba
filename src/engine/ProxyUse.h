#pragma once
// The one place an HTTP client gets the proxy of the options: page fetches, link checks,
// picture transfers and the version check all go through useProxy.
#include <string>

#include "base/ProxySetting.h"

class THttpCli;

namespace lumi {

// Sets the client's Proxy, ProxyPort and, when a name is set, the Basic login the client
// sends as Proxy-Authorization. A direct setting clears all four.
void useProxy(THttpCli& client, const ProxySetting& proxy);

// "HOST:PORT" of the proxy the client goes through, as a failure names it; empty when direct.
std::string proxyLabel(const THttpCli& client);

} // namespace lumi
