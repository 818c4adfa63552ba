#pragma once
// TIniFile: the settings store over one INI file in the classic layout. Section and key
// names match without regard to letter case. Reads see every write made through any
// TIniFile of the program at once, and an edit made outside it from the next millisecond
// tick on: the parsed entries are kept while no write was made here and the file's
// identity, size and times, looked at once per tick, show it unchanged. Every write
// rewrites the file at once through a temporary file renamed over the old one.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

namespace lumi {
// Raised when the file system refuses a settings write: "Unable to write to <path>".
class SettingsWriteError : public std::runtime_error {
public:
    explicit SettingsWriteError(const std::string& path)
        : std::runtime_error("Unable to write to " + path) {}
};

// The entries of a settings file at one moment; reads decode values as the store does.
class IniEntries {
public:
    struct Entry {
        std::string section, key, value;
    };
    explicit IniEntries(std::vector<Entry> entries) : entries_(std::move(entries)) {}

    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
    std::string ReadString(std::string_view section, std::string_view key,
                           const std::string& defaultValue) const;

private:
    const std::string* find(std::string_view section, std::string_view key) const;
    std::vector<Entry> entries_;
};
} // namespace lumi

class TIniFile {
public:
    // Longest text ReadString returns.
    static constexpr size_t MaxValueLength = 2047;

    explicit TIniFile(std::string fileName);
    const std::string& FileName() const { return fileName_; }

    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    int32_t ReadInteger(const std::string& section, const std::string& key,
                        int32_t defaultValue) const;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // The file's entries as they are now, for several reads against one state of the file.
    std::shared_ptr<const lumi::IniEntries> Entries() const;

    // Writers raise lumi::SettingsWriteError when the file cannot be written.
    void WriteBool(const std::string& section, const std::string& key, bool value);
    void WriteInteger(const std::string& section, const std::string& key, int32_t value);
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

private:
    struct FileStamp {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{}, changed{};
        bool operator==(const FileStamp& other) const;
    };
    static FileStamp stampOf(const std::string& path);

    std::string fileName_;
    // The entries last read and the file's stamp just before that read. A file changed within
    // the last moments may change again without a new stamp (time stamps are coarse), so
    // such a read is not reused.
    mutable std::shared_ptr<const lumi::IniEntries> cached_;
    mutable FileStamp cachedStamp_;
    mutable bool cacheTrusted_ = false;
    mutable uint64_t cachedWrites_ = 0;   // the program's write count when the entries were read
    mutable uint32_t stampCheckedAt_ = 0; // tick of the last look at the file
};
