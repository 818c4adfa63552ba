#pragma once
// Which search services a search asks and where the archives are reached: the [Services]
// section of the settings, the archives' base addresses (each archive's environment variable
// replaces its public address; SearXNG has only the one the user enters, which
// LUMISIFT_SEARXNG_URL replaces for tests and the demo and then turns on by default), and
// the request address of one result page.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/SearchServices.h"
#include "base/SettingKeys.h"

class TIniFile;

namespace lumi {

class IniEntries;

// By ServiceId: each service's switch as its default says.
std::array<bool, ServiceCount> defaultServiceSwitches();

struct ServiceChoice {
    std::array<bool, ServiceCount> enabled = defaultServiceSwitches();
    std::string searxngUrl; // base address with its scheme; empty: none entered
    int32_t maxPages =
        setting::MaxPages.fallback; // result pages one archive is asked for per search
    bool enabledFor(ServiceId service) const {
        return service != ServiceId::None && enabled[static_cast<size_t>(service)];
    }
};

// MaxPages is kept within these bounds whatever the file says.
constexpr int32_t MinArchivePages = 1, MaxArchivePages = 20;

// "HotBot", "Lycos", "ScourNet", "LycosImagesDirect", "Openverse", "Commons", ...
const char* serviceSettingKey(ServiceId service);
// The service's switch in [Services], with its default.
const BoolSetting& serviceSetting(ServiceId service);
ServiceChoice readServiceChoice(const IniEntries& settings);
// Raises SettingsWriteError when the file cannot be written.
void writeServiceChoice(TIniFile& settings, const ServiceChoice& choice);

// The settings reference of the README: every key the program reads, the archives' switches
// among them.
std::string settingsReference();

// The archive's base address without a trailing "/"; "" when none is known.
std::string archiveBase(ServiceId service, const ServiceChoice& choice);
// The first position of a search: page 1, or Commons' offset 0.
int64_t firstArchivePosition(ServiceId service);
// The address of the result page at `position` for the phrase (archivePhraseFromUnicode).
std::string archiveRequestUrl(ServiceId service, const std::string& base,
                              const std::string& phrase, int64_t position);
// "Lumisift/1.4 (+<the maker's home page>)": Wikimedia refuses anonymous agents.
std::string archiveUserAgent();
// The header lines the archive asks for beside the archives' usual ones.
std::vector<std::string> archiveHeaderLines(ServiceId service);

} // namespace lumi
