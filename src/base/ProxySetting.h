#pragma once
// The HTTP proxy every request uses, read from the settings for each request so that a
// changed option applies to the next one started.
#include <string>

class TIniFile;

namespace lumi {

// Why a transfer is not started when the proxy option cannot be followed.
inline constexpr const char* MissingProxyServerText = "UseProxy is on but ProxyServer is empty";

struct ProxySetting {
    std::string host, port; // both empty: a direct connection
    std::string name, pass; // "ProxyName", "ProxyPass": a Basic login when name is set
    // "UseProxy" is on but "ProxyServer" is empty: the request goes direct unless the caller
    // refuses it.
    bool missingServer = false;
};

// "ProxyServer", "ProxyPort" (default "80"), "ProxyName" and "ProxyPass" when "UseProxy" is
// on; empty texts otherwise.
ProxySetting proxyFromSettings(const TIniFile& settings);

} // namespace lumi
