#pragma once
// TIniFile: the settings store over one INI file in the classic layout. Section and key
// names match without regard to letter case; nothing is cached (every read opens the file,
// every write rewrites it at once through a temporary file renamed over the old one).
#include <cstdint>
#include <stdexcept>
#include <string>

namespace lumi {
// Raised when the file system refuses a settings write: "Unable to write to <path>".
class SettingsWriteError : public std::runtime_error {
public:
    explicit SettingsWriteError(const std::string& path) : std::runtime_error("Unable to write to " + path) {}
};
} // namespace lumi

class TIniFile {
public:
    // Longest text ReadString returns.
    static constexpr size_t MaxValueLength = 2047;

    explicit TIniFile(std::string fileName);
    const std::string& FileName() const { return fileName_; }

    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue) const;
    std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;

    // Writers raise lumi::SettingsWriteError when the file cannot be written.
    void WriteBool(const std::string& section, const std::string& key, bool value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

private:
    std::string fileName_;
};
