// The list of archives. A new archive is its file under archives/, its ServiceId and its
// line here.
#include "analysis/ArchiveService.h"

namespace lumi {

extern const ArchiveService openverseService, commonsService, searxngService, metMuseumService,
    artInstituteService, nasaImagesService;

const std::vector<const ArchiveService*>& archiveServices() {
    static const std::vector<const ArchiveService*> services{
        &openverseService, &commonsService,      &searxngService,
        &metMuseumService, &artInstituteService, &nasaImagesService};
    return services;
}

const ArchiveService* archiveService(ServiceId service) {
    for (const ArchiveService* archive : archiveServices())
        if (archive->id == service) return archive;
    return nullptr;
}

} // namespace lumi
