#include "base/IniFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <ctime>
#include <optional>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Clock.h"
#include "base/TextOps.h"

namespace {

struct IniText {
    std::vector<std::string> lines;
    std::string lineEnd = "\n";
};

IniText readIni(const std::string& path) {
    IniText ini;
    std::ifstream in(path, std::ios::binary);
    if (!in) return ini;
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    if (text.find("\r\n") != std::string::npos) ini.lineEnd = "\r\n";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ini.lines.push_back(std::move(line));
        start = end + 1;
    }
    return ini;
}

// The section name of a "[name]" line, if the line is one.
std::optional<std::string> sectionOf(const std::string& line) {
    const std::string t = lumi::textTrim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return std::nullopt;
    return lumi::textTrim(std::string_view(t).substr(1, t.size() - 2));
}

// Splits "key=value" (blanks around both trimmed); false for lines without '='.
bool splitEntry(const std::string& line, std::string& key, std::string& value) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = lumi::textTrim(std::string_view(line).substr(0, eq));
    value = lumi::textTrim(std::string_view(line).substr(eq + 1));
    return !key.empty();
}

std::vector<lumi::IniEntries::Entry> parseEntries(const IniText& ini) {
    std::vector<lumi::IniEntries::Entry> entries;
    std::string section;
    bool inSection = false;
    for (const auto& line : ini.lines) {
        if (auto name = sectionOf(line)) {
            section = std::move(*name);
            inSection = true;
            continue;
        }
        std::string k, v;
        if (inSection && splitEntry(line, k, v))
            entries.push_back({section, std::move(k), std::move(v)});
    }
    return entries;
}

// Every settings write of the program, through any TIniFile: kept entries read before the
// last write are read again.
std::atomic<uint64_t> writesInProgram{0};

// Time stamps of a file changed this close to now may not change with its next write.
constexpr time_t RacyStampSeconds = 2;

bool changedRecently(const timespec& stamp) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return stamp.tv_sec + RacyStampSeconds >= now.tv_sec;
}

void writeAtomically(const std::string& path, const IniText& ini) {
    const std::string temp = path + ".tmp";
    std::string text;
    for (const auto& line : ini.lines)
        text += line + ini.lineEnd;
    // The file holds the proxy password: readable by its owner only, whatever the umask.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) throw lumi::SettingsWriteError(path);
    bool written = ::fchmod(fd, 0600) == 0;
    for (size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<size_t>(n);
    }
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw lumi::SettingsWriteError(path);
    }
}

// A line break inside a value would split it into a second, forged entry.
std::string oneLine(const std::string& value) {
    std::string out = value;
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

} // namespace

namespace lumi {

const std::string* IniEntries::find(std::string_view section, std::string_view key) const {
    for (const Entry& e : entries_)
        if (textSameAnyCase(e.key, key) && textSameAnyCase(e.section, section)) return &e.value;
    return nullptr;
}

std::string IniEntries::ReadString(std::string_view section, std::string_view key,
                                   const std::string& defaultValue) const {
    const std::string* value = find(section, key);
    if (!value) return defaultValue;
    return value->size() > TIniFile::MaxValueLength ? value->substr(0, TIniFile::MaxValueLength)
                                                    : *value;
}

int32_t IniEntries::ReadInteger(std::string_view section, std::string_view key,
                                int32_t defaultValue) const {
    int32_t result = defaultValue;
    const std::string* value = find(section, key);
    if (value && parseInteger(*value, result)) return result;
    return defaultValue;
}

bool IniEntries::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

} // namespace lumi

bool TIniFile::FileStamp::operator==(const FileStamp& o) const {
    return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
}

TIniFile::FileStamp TIniFile::stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::shared_ptr<const lumi::IniEntries> TIniFile::Entries() const {
    const bool reusable = cached_ && cacheTrusted_ && cachedWrites_ == writesInProgram;
    const uint32_t now = lumi::tickCount();
    if (reusable && now == stampCheckedAt_) return cached_;
    stampCheckedAt_ = now;
    const FileStamp stamp = stampOf(fileName_);
    if (reusable && stamp == cachedStamp_) return cached_;
    cachedWrites_ = writesInProgram;
    cached_ = std::make_shared<const lumi::IniEntries>(parseEntries(readIni(fileName_)));
    cachedStamp_ = stamp;
    cacheTrusted_ =
        !stamp.exists || (!changedRecently(stamp.modified) && !changedRecently(stamp.changed));
    return cached_;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    return Entries()->ReadString(section, key, defaultValue);
}

int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                              int32_t defaultValue) const {
    return Entries()->ReadInteger(section, key, defaultValue);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key,
                        bool defaultValue) const {
    return Entries()->ReadBool(section, key, defaultValue);
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    IniText ini = readIni(fileName_);
    const auto write = [&] {
        writeAtomically(fileName_, ini);
        ++writesInProgram;
    };
    const std::string entry = key + "=" + oneLine(value);
    bool inSection = false;
    std::optional<size_t> sectionEnd; // index after the section's last entry
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        if (auto name = sectionOf(ini.lines[i])) {
            if (inSection) break;
            inSection = lumi::textSameAnyCase(*name, section);
            if (inSection) sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        std::string k, v;
        if (splitEntry(ini.lines[i], k, v) && lumi::textSameAnyCase(k, key)) {
            ini.lines[i] = entry;
            write();
            return;
        }
        if (!lumi::textTrim(ini.lines[i]).empty()) sectionEnd = i + 1;
    }
    if (sectionEnd) {
        ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(*sectionEnd), entry);
    } else {
        if (!ini.lines.empty() && !lumi::textTrim(ini.lines.back()).empty())
            ini.lines.emplace_back();
        ini.lines.push_back("[" + section + "]");
        ini.lines.push_back(entry);
    }
    write();
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}
