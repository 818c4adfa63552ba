#include "analysis/LicenceRights.h"

#include "base/TextOps.h"

namespace lumi {

namespace {

struct FilterWords {
    LicenceFilter filter;
    const char* word;
    const char* label;
};
constexpr FilterWords Filters[] = {
    {LicenceFilter::Any, "any", "any licence"},
    {LicenceFilter::Commercial, "commercial", "may use commercially"},
    {LicenceFilter::Modify, "modify", "may modify"},
    {LicenceFilter::CommercialAndModify, "commercial,modify", "commercially and modify"},
    {LicenceFilter::PublicDomain, "pd", "public domain or CC0 only"},
};

struct Rights {
    bool known = false;
    bool commercial = false;
    bool modify = false;
    bool publicDomain = false;
};

// The code's words without the "cc-" prefix and the version: "cc-by-nc-sa-4.0" -> "by-nc-sa".
std::string bareCode(std::string code) {
    code = textLower(code);
    for (char& c : code)
        if (c == ' ' || c == '_') c = '-';
    if (code.starts_with("cc-")) code.erase(0, 3);
    // A last part of digits and dots is the version.
    const size_t dash = code.rfind('-');
    if (dash != std::string::npos && dash + 1 < code.size() &&
        code.find_first_not_of("0123456789.", dash + 1) == std::string::npos)
        code.erase(dash);
    return code;
}

// Openverse's grouping: "sampling+" allows both, "nc-sampling+" modification only.
Rights rightsOfCode(const std::string& raw) {
    const std::string code = bareCode(raw);
    Rights r;
    if (code == "cc0" || code == "zero" || code == "pdm" || code == "pd" ||
        code == "public-domain" || code == "publicdomain" || code.starts_with("pd-")) {
        r = {true, true, true, true};
    } else if (code == "sampling+") {
        r = {true, true, true, false};
    } else if (code == "nc-sampling+") {
        r = {true, false, true, false};
    } else if (code == "by" || code.starts_with("by-")) {
        r.known = true;
        r.commercial = !textContains(code, "nc");
        r.modify = !textContains(code, "nd");
    }
    return r;
}

// "CC BY-SA 4.0" -> "by-sa", "CC0 1.0" -> "cc0", "Public domain" -> "pd"; "" otherwise.
std::string codeOfName(const std::string& name) {
    const std::string lower = textLower(textTrim(name));
    if (lower.starts_with("cc0")) return "cc0";
    if (lower.starts_with("public domain")) return "pd";
    if (lower.starts_with("cc ") || lower.starts_with("cc-")) return lower.substr(3);
    return {};
}

} // namespace

bool licenceFilterFromWord(const std::string& word, LicenceFilter& filter) {
    const std::string lower = textLower(textTrim(word));
    for (const FilterWords& f : Filters) {
        if (lower == f.word ||
            (f.filter == LicenceFilter::CommercialAndModify && lower == "modify,commercial")) {
            filter = f.filter;
            return true;
        }
    }
    return false;
}

const char* licenceFilterWord(LicenceFilter filter) {
    for (const FilterWords& f : Filters)
        if (f.filter == filter) return f.word;
    return "any";
}

const char* licenceFilterLabel(LicenceFilter filter) {
    for (const FilterWords& f : Filters)
        if (f.filter == filter) return f.label;
    return "any licence";
}

bool licencePasses(LicenceFilter filter, const std::string& code, const std::string& name) {
    if (filter == LicenceFilter::Any) return true;
    const Rights r = rightsOfCode(code.empty() ? codeOfName(name) : code);
    if (!r.known) return false;
    switch (filter) {
    case LicenceFilter::Commercial:
        return r.commercial;
    case LicenceFilter::Modify:
        return r.modify;
    case LicenceFilter::CommercialAndModify:
        return r.commercial && r.modify;
    case LicenceFilter::PublicDomain:
        return r.publicDomain;
    case LicenceFilter::Any:
        break;
    }
    return true;
}

std::string openverseLicenceQuery(LicenceFilter filter) {
    switch (filter) {
    case LicenceFilter::Commercial:
        return "&license_type=commercial";
    case LicenceFilter::Modify:
        return "&license_type=modification";
    case LicenceFilter::CommercialAndModify:
        return "&license_type=commercial,modification";
    case LicenceFilter::PublicDomain:
        return "&license=cc0,pdm";
    case LicenceFilter::Any:
        break;
    }
    return {};
}

std::string licenceNameOfCode(const std::string& code, const std::string& version) {
    if (code.empty()) return {};
    const std::string lower = textLower(code);
    std::string name;
    std::string at = version;
    if (lower == "cc0") {
        name = "CC0";
    } else if (lower == "pdm") {
        name = "Public Domain Mark";
    } else if (lower == "sampling+" || lower == "nc-sampling+") {
        name = lower == "sampling+" ? "CC Sampling+" : "CC NC-Sampling+";
    } else {
        name = "CC ";
        for (const char c : code)
            name += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    // These licences have had one version; answers often leave it out.
    if (at.empty() && (lower == "cc0" || lower == "pdm" || textContains(lower, "sampling+")))
        at = "1.0";
    return at.empty() ? name : name + " " + at;
}

} // namespace lumi
