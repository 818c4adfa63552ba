#pragma once
// The hosts the program talks to: the search services and the maker's site. Each has a
// compiled-in default that its LUMISIFT_* environment variable replaces when set and not
// empty (a bare host or host:port, without "http://").
#include <string>

namespace lumi {

// The variable's value, or fallback when it is unset or empty.
std::string configuredHost(const char* variable, const char* fallback);

std::string hotBotHost();   // LUMISIFT_HOTBOT_HOST
std::string lycosHost();    // LUMISIFT_LYCOS_HOST, shared by Lycos and Lycos Images Direct
std::string scourNetHost(); // LUMISIFT_SCOURNET_HOST, the search host
std::string scourNetSite(); // LUMISIFT_SCOURNET_SITE, the site its result links point into
std::string makerHost();    // LUMISIFT_MAKER_HOST

} // namespace lumi
