#include "engine/ProxyUse.h"

#include "net/HttpProt.h"

namespace lumi {

void useProxy(THttpCli& client, const ProxySetting& proxy) {
    client.Proxy = proxy.host;
    client.ProxyPort = proxy.port;
    const bool login = !proxy.host.empty() && !proxy.name.empty();
    client.ProxyUsername = login ? proxy.name : std::string();
    client.ProxyPassword = login ? proxy.pass : std::string();
}

std::string proxyLabel(const THttpCli& client) {
    if (client.Proxy.empty()) return {};
    const UrlParts parts = splitUrl(client.Proxy);
    return parts.host + ":" + (parts.port.empty() ? client.ProxyPort : parts.port);
}

} // namespace lumi
