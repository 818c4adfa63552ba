#pragma once
// One picture archive as a search asks it, in one place: its name and switch, where it is
// reached, how a phrase and a position become a request, how its answer becomes pictures
// with their sources and the next position, and the licence it states for its whole
// collection. Each archive is one file under analysis/archives; archiveServices() lists
// them, and the engine, doctor, --stats, the health lines, the options dialog, the settings
// reference and the stand-in web all read that list.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/LicenceRights.h"
#include "analysis/SearchServices.h"
#include "base/SettingKeys.h"

class QJsonObject;

namespace lumi {

struct ArchiveAnswer;

struct ArchiveService {
    ServiceId id;
    const char* name;         // as the list, the diagnostics and doctor show it
    const char* checkBoxText; // its switch on the Services page, with its Alt letter
    BoolSetting setting;      // its switch in [Services], with its default
    // The API's address up to its version, which the environment variable replaces (tests,
    // mirrors); an archive without one is asked only at the address in baseSetting.
    const char* baseVariable;
    const char* publicBase;
    const TextSetting* baseSetting = nullptr;
    // Where a search starts: page 1, or an offset of 0.
    int64_t firstPosition = 1;
    // What the collection states for every picture it lists, with the code a licence
    // filter reads ("cc0", "pd"); "" when each has its own.
    const char* licence = "";
    const char* licenceCode = "";
    const char* licenceUrl = "";
    // The address of the result page at position; query is the phrase as a query value,
    // continuation goes on an unfinished batch (ArchiveAnswer::continuation), and a service
    // that can filter by licence itself is asked for the licences the filter passes.
    std::string (*searchUrl)(const std::string& base, const std::string& query,
                             int64_t position, const std::string& continuation,
                             LicenceFilter licence) = nullptr;
    // Header lines the service asks for beside the archives' usual ones, made from the
    // program's agent; nullptr: none.
    std::vector<std::string> (*headerLines)(const std::string& agent) = nullptr;
    // Reads an answer's JSON object: whether it is the service's answer, its pictures, the
    // results it listed and the next position (0: none).
    void (*read)(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) = nullptr;
    // A service whose search answer names items rather than pictures (the Met): their ids
    // in the answer's order (understood tells whether it was that answer), each item's
    // address, whose answer `read` reads, and how many items make one result page.
    std::vector<std::string> (*readItemIds)(const QJsonObject& root, bool& understood) = nullptr;
    std::string (*itemUrl)(const std::string& base, const std::string& id) = nullptr;
    size_t itemsPerPage = 0;
};

// Every archive, in the order the health lines, doctor and the Services page show them.
const std::vector<const ArchiveService*>& archiveServices();
// The archive of that id; nullptr for the classic services and None.
const ArchiveService* archiveService(ServiceId service);

} // namespace lumi
