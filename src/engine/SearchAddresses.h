#pragma once
// What a search sends to the four search services: their host names (configuration values)
// and one result-page address per service, built from the phrase the user typed.
#include <string>
#include <vector>

namespace lumi {

struct SearchHosts {
    std::string hotBot;
    std::string lycos; // Lycos and Lycos Images Direct share it
    std::string scourNet;
};

// The compiled-in hosts, each replaced by LUMISIFT_HOTBOT_HOST, LUMISIFT_LYCOS_HOST or
// LUMISIFT_SCOURNET_HOST when that variable is set and not empty (a bare host or host:port).
SearchHosts searchHostsFromEnvironment();

struct SearchAddress {
    int engine; // engine number: where the fetched page is routed
    std::string url;
};

// The result-page addresses of one search in queueing order: HotBot, Lycos, ScourNet,
// Lycos Images Direct. Each query is FixMultiQuery(phrase).
std::vector<SearchAddress> searchAddresses(const SearchHosts& hosts, const std::string& phrase);

} // namespace lumi

// Encodes a search phrase as a query value: trimmed of codes 0..32 at both ends, blanks
// become "+", letters, digits and "-._~" stay, every other byte becomes "%XX" (upper-case
// hex). Decoding the value gives back the trimmed phrase exactly. On a failure the output
// keeps its previous value.
void FixMultiQuery(const std::string& phrase, std::string& query);
