#include "engine/ServiceChoice.h"

#include <algorithm>
#include <iterator>

#include "base/ConfiguredHosts.h"
#include "base/IniFiles.h"
#include "base/SettingKeys.h"
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

const BoolSetting& serviceSetting(ServiceId service) {
    // By ServiceId.
    static const BoolSetting* const switches[] = {
        &setting::HotBot,    &setting::Lycos,   &setting::ScourNet, &setting::LycosImagesDirect,
        &setting::Openverse, &setting::Commons, &setting::SearXNG};
    static_assert(std::size(switches) == ServiceCount);
    static const BoolSetting none{"Services", "", false, ""};
    const auto i = static_cast<size_t>(service);
    return i < ServiceCount ? *switches[i] : none;
}

const char* serviceSettingKey(ServiceId service) {
    return serviceSetting(service).key;
}

// LUMISIFT_SEARXNG_URL stands in for the address the user enters (tests, the demo): with
// it set, SearXNG is asked unless the settings turn it off.
ServiceChoice readServiceChoice(const IniEntries& settings) {
    ServiceChoice choice;
    for (size_t i = 0; i < ServiceCount; ++i)
        choice.enabled[i] = readSetting(settings, serviceSetting(static_cast<ServiceId>(i)));
    const size_t searxng = static_cast<size_t>(ServiceId::SearXNG);
    if (!configuredHost("LUMISIFT_SEARXNG_URL", "").empty())
        choice.enabled[searxng] = settings.ReadBool(Section, setting::SearXNG.key, true);
    choice.searxngUrl = withoutTrailingSlash(readSetting(settings, setting::SearXNGUrl));
    choice.maxPages =
        std::clamp(readSetting(settings, setting::MaxPages), MinArchivePages, MaxArchivePages);
    licenceFilterFromWord(readSetting(settings, setting::LicenceFilter), choice.licence);
    choice.minWidth = std::clamp(readSetting(settings, setting::MinWidth), 0, MaxMinimumPixels);
    choice.minHeight = std::clamp(readSetting(settings, setting::MinHeight), 0, MaxMinimumPixels);
    return choice;
}

void writeServiceChoice(TIniFile& settings, const ServiceChoice& choice) {
    for (size_t i = 0; i < ServiceCount; ++i)
        settings.WriteBool(Section, serviceSettingKey(static_cast<ServiceId>(i)), choice.enabled[i]);
    settings.WriteString(Section, "SearXNGUrl", choice.searxngUrl);
    settings.WriteInteger(Section, "MaxPages", choice.maxPages);
    settings.WriteString(Section, setting::LicenceFilter.key, licenceFilterWord(choice.licence));
    settings.WriteInteger(Section, setting::MinWidth.key, choice.minWidth);
    settings.WriteInteger(Section, setting::MinHeight.key, choice.minHeight);
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
                              const std::string& phrase, int64_t position,
                              const std::string& continuation, LicenceFilter licence) {
    std::string query;
    FixMultiQuery(phrase, query);
    const std::string at = std::to_string(position);
    switch (service) {
    case ServiceId::Openverse:
        return base + "/v1/images/?q=" + query + "&page=" + at +
               "&page_size=20&extension=jpg,jpeg" + openverseLicenceQuery(licence);
    case ServiceId::Commons:
        return base +
               "/w/api.php?action=query&format=json&generator=search&gsrnamespace=6"
               "&gsrsearch=filemime%3Aimage%2Fjpeg+" +
               query + "&gsrlimit=" + std::to_string(CommonsPageSize) + "&gsroffset=" + at +
               "&prop=imageinfo&iiprop=url%7Csize%7Cmime%7Cextmetadata&iiurlwidth=320" +
               continuation;
    case ServiceId::SearXNG:
        return base + "/search?q=" + query + "&format=json&categories=images&pageno=" + at;
    default: return {};
    }
}

std::string archiveUserAgent() {
    return "Lumisift/1.4 (+" + makerHomePage() + ")";
}

} // namespace lumi
