#include "engine/ServiceChoice.h"

#include <algorithm>

#include "analysis/ArchiveService.h"
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

// An archive reached only at an address the user enters is on by default while its
// variable stands in for that address (tests, the demo).
bool onByDefault(ServiceId service) {
    const ArchiveService* archive = archiveService(service);
    if (archive && archive->baseSetting && !configuredHost(archive->baseVariable, "").empty())
        return true;
    return serviceSetting(service).fallback;
}

} // namespace

std::array<bool, ServiceCount> defaultServiceSwitches() {
    std::array<bool, ServiceCount> switches{};
    for (size_t i = 0; i < ServiceCount; ++i)
        switches[i] = serviceSetting(static_cast<ServiceId>(i)).fallback;
    return switches;
}

const BoolSetting& serviceSetting(ServiceId service) {
    static const BoolSetting none{"Services", "", false, ""};
    switch (service) {
    case ServiceId::HotBot: return setting::HotBot;
    case ServiceId::Lycos: return setting::Lycos;
    case ServiceId::ScourNet: return setting::ScourNet;
    case ServiceId::LycosImagesDirect: return setting::LycosImagesDirect;
    default: break;
    }
    const ArchiveService* archive = archiveService(service);
    return archive ? archive->setting : none;
}

const char* serviceSettingKey(ServiceId service) {
    return serviceSetting(service).key;
}

ServiceChoice readServiceChoice(const IniEntries& settings) {
    ServiceChoice choice;
    for (size_t i = 0; i < ServiceCount; ++i) {
        const auto service = static_cast<ServiceId>(i);
        choice.enabled[i] =
            settings.ReadBool(Section, serviceSettingKey(service), onByDefault(service));
    }
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

std::string settingsReference() {
    std::vector<SettingRow> switches;
    for (const ArchiveService* archive : archiveServices())
        switches.push_back(settingRow(archive->setting));
    return settingsReferenceTable(settingRows(switches));
}

std::string archiveBase(ServiceId service, const ServiceChoice& choice) {
    const ArchiveService* archive = archiveService(service);
    if (!archive) return {};
    const std::string fallback = archive->baseSetting ? choice.searxngUrl : archive->publicBase;
    return withoutTrailingSlash(configuredHost(archive->baseVariable, fallback.c_str()));
}

int64_t firstArchivePosition(ServiceId service) {
    const ArchiveService* archive = archiveService(service);
    return archive ? archive->firstPosition : 1;
}

std::string archiveRequestUrl(ServiceId service, const std::string& base,
                              const std::string& phrase, int64_t position,
                              const std::string& continuation, LicenceFilter licence) {
    const ArchiveService* archive = archiveService(service);
    if (!archive) return {};
    std::string query;
    FixMultiQuery(phrase, query);
    return archive->searchUrl(base, query, position, continuation, licence);
}

std::string archiveUserAgent() {
    return "Lumisift/1.4 (+" + makerHomePage() + ")";
}

std::vector<std::string> archiveHeaderLines(ServiceId service) {
    const ArchiveService* archive = archiveService(service);
    return archive && archive->headerLines ? archive->headerLines(archiveUserAgent())
                                           : std::vector<std::string>{};
}

} // namespace lumi
