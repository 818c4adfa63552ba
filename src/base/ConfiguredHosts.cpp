#include "base/ConfiguredHosts.h"

#include <cstdlib>

namespace lumi {

std::string configuredHost(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    return value && *value ? std::string(value) : std::string(fallback);
}

std::string hostOrigin(const std::string& host) {
    const bool hasScheme = host.rfind("http://", 0) == 0 || host.rfind("https://", 0) == 0;
    return hasScheme ? host : "http://" + host;
}

// The services' public names; the demo and the tests point the variables at the stand-in
// server on loopback.
std::string hotBotHost() {
    return configuredHost("LUMISIFT_HOTBOT_HOST", "www.hotbot.com");
}
std::string lycosHost() {
    return configuredHost("LUMISIFT_LYCOS_HOST", "www.lycos.com");
}
std::string scourNetHost() {
    return configuredHost("LUMISIFT_SCOURNET_HOST", "www.scour.net");
}
std::string scourNetSite() {
    return configuredHost("LUMISIFT_SCOURNET_SITE", "www.scour.com");
}
std::string makerHost() {
    // https by default: the version file decides which page the user is offered to open.
    return configuredHost("LUMISIFT_MAKER_HOST", "https://www.lumisift.com");
}
std::string makerHomePage() {
    return hostOrigin(makerHost()) + "/";
}

} // namespace lumi
