#pragma once
// The seven search services a search may ask: the four classic ones, whose result pages are
// read by text markers, and the three picture archives that answer in JSON. Each has an
// engine number (where its fetched pages are routed) and a name the user sees. Also what a
// listed picture keeps of where it came from.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumi {

enum class ServiceId : uint8_t {
    HotBot,
    Lycos,
    ScourNet,
    LycosImagesDirect,
    Openverse,
    Commons,
    SearXNG,
    None, // a picture whose service is not known
};
constexpr size_t ServiceCount = 7;

// Engine numbers of the archives' result pages, after the classic 1..4.
constexpr int OpenverseEngine = 5, CommonsEngine = 6, SearXNGEngine = 7;

// "HotBot", "Lycos", "ScourNet", "Lycos Images Direct", "Openverse", "Wikimedia Commons",
// "SearXNG"; "" for None.
const char* serviceName(ServiceId service);
// The service whose own result pages carry this engine number; None for 0, 99 and others.
ServiceId serviceOfEngine(int engine);
int engineOfService(ServiceId service);
bool isArchiveService(ServiceId service);
inline bool isArchiveEngine(int engine) {
    return isArchiveService(serviceOfEngine(engine));
}

// Where a listed picture came from: the service, the page it was found on (an archive's
// landing page, or the page the link extractor read) and, for the archives, what the
// licence asks to be named. Texts from the archives are UTF-8.
struct PictureSource {
    ServiceId service = ServiceId::None;
    std::string page;
    std::string title;
    std::string creator;
    std::string licence; // e.g. "CC BY-SA 4.0"; empty when none is known
    std::string licenceUrl;
    // The small picture the archive offers beside the picture itself; empty when none.
    std::string thumbnail = {};
    std::string creatorUrl = {};
    // The licence's code as the archive gives it ("by-sa", "cc-by-sa-4.0", "pd"): what a
    // licence filter reads; empty when the archive gave none.
    std::string licenceCode = {};
    // Openverse's provider and source (the collection it took the picture from).
    std::string provider = {};
    std::string collection = {};
    int32_t width = 0; // pixels; 0 when unknown
    int32_t height = 0;
    // Every service that found the picture, the one credited (`service`) first; empty for a
    // picture only one service found.
    std::vector<ServiceId> services = {};
};

// Whether the page of a classic service carries any of its parser's markers; a result page
// without them means the service's layout is not the one its parser reads.
bool carriesResultMarkers(ServiceId service, std::string_view page);

} // namespace lumi
