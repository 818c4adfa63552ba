#pragma once
// What a picture's licence lets its user do, read from the licence code an archive gives
// (Openverse's "by-nc-sa", Commons' "cc-by-sa-4.0", "pd", "cc0") or, without one, from the
// licence's name ("CC BY-SA 4.0", "Public domain"); and the filter a search keeps pictures by.
#include <cstdint>
#include <string>

namespace lumi {

enum class LicenceFilter : uint8_t {
    Any,                 // every picture, with a licence or without
    Commercial,          // may be used commercially
    Modify,              // may be modified
    CommercialAndModify, // both
    PublicDomain,        // public domain or CC0 only
};

// "any", "commercial", "modify", "commercial,modify", "pd": the command line's and the
// settings' words. False for any other text (the filter is then left as it was).
bool licenceFilterFromWord(const std::string& word, LicenceFilter& filter);
const char* licenceFilterWord(LicenceFilter filter);
// "may use commercially", ... as the window offers them; "any licence" for Any.
const char* licenceFilterLabel(LicenceFilter filter);

// Whether a picture with this licence code (or, when the code is empty, licence name) passes;
// a picture without either passes only Any.
bool licencePasses(LicenceFilter filter, const std::string& code, const std::string& name);

// Openverse's own query for the filter ("&license_type=commercial", "&license=cc0,pdm");
// "" for Any.
std::string openverseLicenceQuery(LicenceFilter filter);

// The licence name as the licence writes it: "by-sa", "4.0" -> "CC BY-SA 4.0", "sampling+"
// -> "CC Sampling+ 1.0", "cc0" -> "CC0 1.0", "pdm" -> "Public Domain Mark 1.0".
std::string licenceNameOfCode(const std::string& code, const std::string& version);

} // namespace lumi
