#include "analysis/SearchServices.h"

#include "analysis/ArchiveService.h"
#include "base/TextOps.h"

namespace lumi {

const char* serviceName(ServiceId service) {
    switch (service) {
    case ServiceId::HotBot: return "HotBot";
    case ServiceId::Lycos: return "Lycos";
    case ServiceId::ScourNet: return "ScourNet";
    case ServiceId::LycosImagesDirect: return "Lycos Images Direct";
    default: break;
    }
    const ArchiveService* archive = archiveService(service);
    return archive ? archive->name : "";
}

ServiceId serviceOfEngine(int engine) {
    switch (engine) {
    case 1: return ServiceId::ScourNet;
    case 2: return ServiceId::HotBot;
    case 3: return ServiceId::Lycos;
    case 4: return ServiceId::LycosImagesDirect;
    default: break;
    }
    const int archive = engine - FirstArchiveEngine + static_cast<int>(ServiceId::Openverse);
    return engine >= FirstArchiveEngine && archive < static_cast<int>(ServiceCount)
               ? static_cast<ServiceId>(archive)
               : ServiceId::None;
}

int engineOfService(ServiceId service) {
    for (int engine = 1; engine < FirstArchiveEngine + static_cast<int>(ServiceCount); ++engine)
        if (serviceOfEngine(engine) == service) return engine;
    return -1;
}

bool isArchiveService(ServiceId service) {
    return archiveService(service) != nullptr;
}

// The first marker each parser looks for on a line; ScourNet's is matched in any case.
bool carriesResultMarkers(ServiceId service, std::string_view page) {
    switch (service) {
    case ServiceId::HotBot: return textContains(page, "target=");
    case ServiceId::Lycos:
    case ServiceId::LycosImagesDirect: return textContains(page, "<em>");
    case ServiceId::ScourNet: return textPosAnyCase("searchfieldlocationlink", page) > 0;
    default: return true;
    }
}

} // namespace lumi
