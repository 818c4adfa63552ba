#include "engine/ServiceChoice.h"

#include <algorithm>

#include "base/ConfiguredHosts.h"
#include "base/IniFiles.h"
#include "engine/SearchAddresses.h"

namespace lumi {

namespace {

constexpr const char* Section = "Services";

std::string withoutTrailingSlash(std::string base) {
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

} // namespace

const char* serviceSettingKey(ServiceId service) {
    switch (service) {
    case ServiceId::HotBot: return "HotBot";
    case ServiceId::Lycos: return "Lycos";
    case ServiceId::ScourNet: return "ScourNet";
    case ServiceId::LycosImagesDirect: return "LycosImagesDirect";
    case ServiceId::Openverse: return "Openverse";
    case ServiceId::Commons: return "Commons";
    case ServiceId::SearXNG: return "SearXNG";
    case ServiceId::None: break;
    }
    return "";
}

// LUMISIFT_SEARXNG_URL stands in for the address the user enters (tests, the demo): with
// it set, SearXNG is asked unless the settings turn it off.
ServiceChoice readServiceChoice(const IniEntries& settings) {
    ServiceChoice choice;
    const std::string searxngOverride = configuredHost("LUMISIFT_SEARXNG_URL", "");
    choice.enabled[static_cast<size_t>(ServiceId::SearXNG)] = !searxngOverride.empty();
    for (size_t i = 0; i < ServiceCount; ++i)
        choice.enabled[i] = settings.ReadBool(Section, serviceSettingKey(static_cast<ServiceId>(i)),
                                              choice.enabled[i]);
    choice.searxngUrl = withoutTrailingSlash(settings.ReadString(Section, "SearXNGUrl", ""));
    choice.maxPages = std::clamp(settings.ReadInteger(Section, "MaxPages", choice.maxPages),
                                 MinArchivePages, MaxArchivePages);
    return choice;
}

void writeServiceChoice(TIniFile& settings, const ServiceChoice& choice) {
    for (size_t i = 0; i < ServiceCount; ++i)
        settings.WriteBool(Section, serviceSettingKey(static_cast<ServiceId>(i)), choice.enabled[i]);
    settings.WriteString(Section, "SearXNGUrl", choice.searxngUrl);
    settings.WriteInteger(Section, "MaxPages", choice.maxPages);
}

std::string archiveBase(ServiceId service, const ServiceChoice& choice) {
    switch (service) {
    case ServiceId::Openverse:
        return withoutTrailingSlash(
            configuredHost("LUMISIFT_OPENVERSE_URL", "https://api.openverse.org"));
    case ServiceId::Commons:
        return withoutTrailingSlash(
            configuredHost("LUMISIFT_COMMONS_URL", "https://commons.wikimedia.org"));
    case ServiceId::SearXNG:
        return withoutTrailingSlash(configuredHost("LUMISIFT_SEARXNG_URL", choice.searxngUrl.c_str()));
    default: return {};
    }
}

int64_t firstArchivePosition(ServiceId service) {
    return service == ServiceId::Commons ? 0 : 1;
}

std::string archiveRequestUrl(ServiceId service, const std::string& base,
                              const std::string& phrase, int64_t position) {
    std::string query;
    FixMultiQuery(phrase, query);
    const std::string at = std::to_string(position);
    switch (service) {
    case ServiceId::Openverse:
        return base + "/v1/images/?q=" + query + "&page=" + at + "&page_size=20&extension=jpg,jpeg";
    case ServiceId::Commons:
        return base +
               "/w/api.php?action=query&format=json&generator=search&gsrnamespace=6"
               "&gsrsearch=filetype%3Abitmap+" +
               query + "&gsrlimit=20&gsroffset=" + at +
               "&prop=imageinfo&iiprop=url%7Csize%7Cmime%7Cextmetadata&iiurlwidth=320";
    case ServiceId::SearXNG:
        return base + "/search?q=" + query + "&format=json&categories=images&pageno=" + at;
    default: return {};
    }
}

std::string archiveUserAgent() {
    return "Lumisift/1.4 (+" + makerHomePage() + ")";
}

} // namespace lumi
