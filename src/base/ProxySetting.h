#pragma once
// The HTTP proxy every transfer uses, read from the settings for each request so that a
// changed option applies to the next one started.
#include <string>

class TIniFile;

namespace lumi {

struct ProxySetting {
    std::string host, port; // both empty: a direct connection
};

// "ProxyServer" and "ProxyPort" (default "80") when "UseProxy" is on; empty texts otherwise.
ProxySetting proxyFromSettings(const TIniFile& settings);

} // namespace lumi
