#pragma once
// Which search services a search asks and where the archives are reached: the [Services]
// section of the settings, the archives' base addresses (LUMISIFT_OPENVERSE_URL and
// LUMISIFT_COMMONS_URL replace the public ones; SearXNG has only the one the user enters,
// which LUMISIFT_SEARXNG_URL replaces for tests and the demo and then turns on by default),
// and the request address of one result page.
#include <array>
#include <cstdint>
#include <string>

#include "analysis/LicenceRights.h"
#include "analysis/SearchServices.h"
#include "base/SettingKeys.h"

class TIniFile;

namespace lumi {

class IniEntries;

struct ServiceChoice {
    // By ServiceId: the classic four, Openverse and Commons on, SearXNG off.
    std::array<bool, ServiceCount> enabled{true, true, true, true, true, true, false};
    std::string searxngUrl; // base address with its scheme; empty: none entered
    int32_t maxPages =
        setting::MaxPages.fallback; // result pages one archive is asked for per search
    // Pictures a search keeps: by licence, and at least this wide and high (0: any).
    LicenceFilter licence = LicenceFilter::Any;
    int32_t minWidth = 0;
    int32_t minHeight = 0;
    bool enabledFor(ServiceId service) const {
        return service != ServiceId::None && enabled[static_cast<size_t>(service)];
    }
};

// MaxPages is kept within these bounds whatever the file says.
constexpr int32_t MinArchivePages = 1, MaxArchivePages = 20;
// Results of one Commons page; the search asks for JPEGs only, so none is spent on others.
constexpr int32_t CommonsPageSize = 50;
// A minimum width or height past this is taken as this.
constexpr int32_t MaxMinimumPixels = 100000;

// "Openverse", "Commons", "SearXNG", "HotBot", "Lycos", "ScourNet", "LycosImagesDirect".
const char* serviceSettingKey(ServiceId service);
// The service's switch in [Services], with its default.
const BoolSetting& serviceSetting(ServiceId service);
ServiceChoice readServiceChoice(const IniEntries& settings);
// Raises SettingsWriteError when the file cannot be written.
void writeServiceChoice(TIniFile& settings, const ServiceChoice& choice);

// The archive's base address without a trailing "/"; "" when none is known.
std::string archiveBase(ServiceId service, const ServiceChoice& choice);
// The first position of a search: page 1, or Commons' offset 0.
int64_t firstArchivePosition(ServiceId service);
// The address of the result page at `position` for the phrase (archivePhraseFromUnicode);
// `continuation` goes on an unfinished Commons batch (ArchiveAnswer::continuation), and
// Openverse is asked for the licences the filter passes.
std::string archiveRequestUrl(ServiceId service, const std::string& base,
                              const std::string& phrase, int64_t position,
                              const std::string& continuation = {},
                              LicenceFilter licence = LicenceFilter::Any);
// "Lumisift/1.4 (+<the maker's home page>)": Wikimedia refuses anonymous agents.
std::string archiveUserAgent();

} // namespace lumi
