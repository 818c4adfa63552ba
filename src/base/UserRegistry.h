#pragma once
// UserRegistry: the per-user store of named string values under key paths such as
// "Software\Orbelle\Lumisift", kept as the sections of one INI file in the user's
// configuration folder. Every write rewrites the file atomically (through TIniFile).
#include <string>

#include "base/IniFiles.h"

namespace lumi {

class UserRegistry {
public:
    explicit UserRegistry(std::string fileName);
    const std::string& FileName() const { return file_.FileName(); }

    // The value, or empty when the key or the value is missing. Key paths and value names
    // match without regard to letter case, as the registry's do.
    std::string ReadString(const std::string& keyPath, const std::string& valueName) const;
    // Creates the key when missing. Raises lumi::SettingsWriteError when the file cannot be
    // written and std::invalid_argument for a key path, value name or value the store
    // cannot hold exactly.
    void WriteString(const std::string& keyPath, const std::string& valueName,
                     const std::string& value);

private:
    TIniFile file_;
};

} // namespace lumi
