#pragma once
// How each search service fared in the current search: result pages asked and answered,
// the status codes of the answers, pictures handed on and listed, and whether a classic
// service's result page carried none of its markers. Emptied at each search start.
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "analysis/ArchiveAnswers.h"
#include "analysis/SearchServices.h"

namespace lumi {

struct ServiceCounts {
    uint64_t asked = 0;
    uint64_t answered = 0;
    std::map<int, uint64_t> statuses; // status code -> answers; 0: no answer at all
    // Result pages that could be read: a classic page with a 2xx status, an archive's answer
    // in its JSON (an error object, a refusal or a body of another kind is none).
    uint64_t read = 0;
    uint64_t handedOn = 0;
    uint64_t listed = 0;
    uint64_t tooLong = 0; // pictures whose address is longer than the list takes
    bool noMarkers = false;
    // A metasearch's engines named in its answers, and those that failed with why; bounded.
    std::vector<std::string> engines;
    std::vector<std::pair<std::string, std::string>> failedEngines;
    std::string failure; // why its last result page got no answer ("Connection refused")
};

// "bing (HTTP error), google (timeout)".
std::string failedEnginesList(const std::vector<std::pair<std::string, std::string>>& failed);
// "3 of 4 engines failed: bing (HTTP error), google (timeout), qwant (CAPTCHA)".
std::string failedEnginesText(const std::vector<std::pair<std::string, std::string>>& failed,
                              size_t engines);
// Adds the engines an answer names to the service's counts, each once.
void noteEngines(ServiceCounts& counts, const ArchiveAnswer& answer);

class ServiceHealth {
public:
    void clear() { counts_ = {}; }
    ServiceCounts& operator[](ServiceId service) { return counts_.at(static_cast<size_t>(service)); }
    const ServiceCounts& operator[](ServiceId service) const {
        return counts_.at(static_cast<size_t>(service));
    }
    // Counts for a service that may be None (a picture of unknown origin): nothing is kept.
    ServiceCounts* find(ServiceId service) {
        return service == ServiceId::None ? nullptr : &counts_[static_cast<size_t>(service)];
    }

    // "Openverse: pages 3 asked, 3 answered (200 x3); pictures 60 handed on, 41 listed", and
    // ", no results where results were expected" when a page lacked its markers, and
    // ", 2 addresses too long for the list" when some were.
    std::string line(ServiceId service) const;
    // The services asked for pages that answered none, each with why: "Openverse (Connection
    // refused), Lycos (Host not found)"; empty when every service asked answered.
    std::string unreached() const;
    // One line per service, in ServiceId order.
    std::vector<std::string> lines() const;
    // "SearXNG: 4 of 4 engines failed: bing (HTTP error), ..." for each service some of
    // whose engines failed; "" when none.
    std::string failedEngines() const;
    // Whether any service gave a result page that could be read.
    bool anyPageRead() const;

private:
    std::array<ServiceCounts, ServiceCount> counts_{};
};

} // namespace lumi
