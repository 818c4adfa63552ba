#include "base/UserRegistry.h"

#include <stdexcept>

#include "base/TextOps.h"

namespace lumi {

namespace {

constexpr char Quote = '"';

// The INI layout trims names and values and ends them at a line break; a value whose ends
// would be trimmed, or that starts with a quote, is written between quotes so that it reads
// back exactly.
bool needsQuotes(const std::string& value) {
    return !value.empty() && (textTrim(value) != value || value.front() == Quote);
}

bool holdsExactly(const std::string& name) {
    return !name.empty() && textTrim(name) == name &&
           name.find_first_of("\r\n") == std::string::npos;
}

} // namespace

UserRegistry::UserRegistry(std::string fileName) : file_(std::move(fileName)) {}

std::string UserRegistry::ReadString(const std::string& keyPath,
                                     const std::string& valueName) const {
    if (!holdsExactly(keyPath) || !holdsExactly(valueName)) return {};
    std::string value = file_.ReadString(keyPath, valueName, "");
    if (value.size() >= 2 && value.front() == Quote && value.back() == Quote)
        value = value.substr(1, value.size() - 2);
    return value;
}

void UserRegistry::WriteString(const std::string& keyPath, const std::string& valueName,
                               const std::string& value) {
    if (!holdsExactly(keyPath) || !holdsExactly(valueName))
        throw std::invalid_argument("Invalid registry key: " + keyPath);
    const std::string stored = needsQuotes(value) ? Quote + value + Quote : value;
    if (stored.size() > TIniFile::MaxValueLength ||
        stored.find_first_of("\r\n") != std::string::npos)
        throw std::invalid_argument("Registry value too long or on several lines");
    file_.WriteString(keyPath, valueName, stored);
}

} // namespace lumi
