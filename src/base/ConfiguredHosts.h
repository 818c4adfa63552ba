#pragma once
// The hosts the program talks to: the search services and the maker's site. Each has a
// compiled-in default that its LUMISIFT_* environment variable replaces when set and not
// empty: a bare host or host:port (spoken to over http), or "https://host[:port]" for a host
// that answers over https only.
#include <string>

namespace lumi {

// The variable's value, or fallback when it is unset or empty.
std::string configuredHost(const char* variable, const char* fallback);
// The origin of a configured host: "http://" + host, or the host as it stands when it names
// its scheme ("https://h:p").
std::string hostOrigin(const std::string& host);

std::string hotBotHost();   // LUMISIFT_HOTBOT_HOST
std::string lycosHost();    // LUMISIFT_LYCOS_HOST, shared by Lycos and Lycos Images Direct
std::string scourNetHost(); // LUMISIFT_SCOURNET_HOST, the search host
std::string scourNetSite(); // LUMISIFT_SCOURNET_SITE, the site its result links point into
std::string makerHost();    // LUMISIFT_MAKER_HOST
// The maker's home page: the origin of makerHost() and "/".
std::string makerHomePage();

} // namespace lumi
