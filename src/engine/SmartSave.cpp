#include "engine/SmartSave.h"

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdlib>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QUtf8StringView>

#include "base/ErrorReport.h"
#include "base/IniFiles.h"
#include "base/SettingKeys.h"
#include "base/PartFile.h"
#include "base/TextOps.h"

namespace lumi {

namespace {

// The path of an address without scheme, host, query and fragment.
std::string_view addressPath(std::string_view address) {
    address = address.substr(0, address.find_first_of("?#"));
    const size_t scheme = address.find("://");
    if (scheme != std::string_view::npos) {
        const size_t slash = address.find('/', scheme + 3);
        return slash == std::string_view::npos ? std::string_view() : address.substr(slash);
    }
    return address;
}

std::string withNumberBeforeExtension(const std::string& name, unsigned long long n) {
    const std::string ext = nameExtension(name);
    return fitName(name.substr(0, name.size() - ext.size()),
                   " (" + std::to_string(n) + ")" + ext);
}

void appendEscaped(std::string& out, unsigned char byte) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    out += '%';
    out += Hex[byte >> 4];
    out += Hex[byte & 15];
}

} // namespace

size_t utf8CharLength(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead < 0x80    ? 1
                          : lead >= 0xF0 ? 4
                          : lead >= 0xE0 ? 3
                          : lead >= 0xC0 ? 2
                                         : 0;
    if (length == 0 || at + length > text.size()) return 0;
    const std::string_view one = text.substr(at, length);
    return QUtf8StringView(one.data(), qsizetype(one.size())).isValidUtf8() ? length : 0;
}

bool misleadingCharacter(std::string_view ch) {
    const auto byte = [&ch](size_t i) { return static_cast<unsigned char>(ch[i]); };
    if (ch.size() == 2) return (byte(0) == 0xC2 && byte(1) <= 0x9F) || ch == "\xD8\x9C";
    if (ch.size() != 3 || byte(0) != 0xE2) return false;
    const unsigned low = byte(2);
    return (byte(1) == 0x80 && (low == 0x8E || low == 0x8F || (low >= 0xA8 && low <= 0xAE))) ||
           (byte(1) == 0x81 && low >= 0xA6 && low <= 0xA9);
}

namespace {

// A name that must not be taken literally: a control character, "/", or a leading dot (a
// hidden name, or one shaped like a temporary).
bool escapedInName(unsigned char byte, bool first) {
    return byte < 0x20 || byte == 0x7F || byte == '/' || (first && byte == '.');
}
} // namespace

std::string userHomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir ? user->pw_dir : "/";
}

std::string expandSavePath(const std::string& path, const std::string& home,
                           const std::string& settingsFolder) {
    if (path.empty()) return path;
    for (const std::string_view lead : {"~", "$HOME", "${HOME}"})
        if (path.starts_with(lead) && (path.size() == lead.size() || path[lead.size()] == '/'))
            return home + path.substr(lead.size());
    if (path[0] == '/') return path;
    return settingsFolder + (settingsFolder.ends_with('/') ? "" : "/") + path;
}

SaveOptions saveOptionsFromSettings(const TIniFile& settings, const std::string& home) {
    SaveOptions options;
    const auto entries = settings.Entries();
    options.savePath = expandSavePath(readSetting(*entries, setting::SavePath), home,
                                      QFileInfo(QFile::decodeName(settings.FileName().c_str()))
                                          .absolutePath()
                                          .toLocal8Bit()
                                          .toStdString());
    options.subDir = readSetting(*entries, setting::SubDir);
    options.numbered = readSetting(*entries, setting::NumberedList);
    return options;
}

std::string phraseName(const std::string& searchDirName) {
    std::string name;
    for (size_t at = 0; at < searchDirName.size();) {
        const size_t length = std::max<size_t>(1, utf8CharLength(searchDirName, at));
        const std::string_view ch = std::string_view(searchDirName).substr(at, length);
        const bool control =
            length == 1 && (static_cast<unsigned char>(ch[0]) < 0x20 || ch[0] == 0x7F);
        name += control || misleadingCharacter(ch) ? std::string_view(" ") : ch;
        at += length;
    }
    name = textTrim(name);
    const size_t first = name.find_first_not_of('.');
    name.erase(0, first == std::string::npos ? name.size() : first);
    return textTrim(name);
}

std::shared_ptr<SaveFolder> openSaveFolder(const SaveOptions& options,
                                           const std::string& searchDirName, std::string& error,
                                           std::shared_ptr<const FileCalls> calls) {
    ::mkdir(options.savePath.c_str(), 0777);
    auto folder = SaveFolder::open(options.savePath, error, std::move(calls));
    std::string phrase = phraseName(searchDirName);
    if (!folder || !options.subDir || phrase.empty()) return folder;
    if (folder->nameRules().windowsNames) phrase = windowsFitName(phrase);
    auto child = folder->openChild(phrase, error);
    // A name the file system refuses although no rule said so.
    if (!child && error == systemErrorText(EINVAL) && windowsFitName(phrase) != phrase) {
        folder->refusesNames();
        child = folder->openChild(windowsFitName(phrase), error);
    }
    return child;
}

std::string folderWriteProblem(const std::shared_ptr<const SaveFolder>& folder) {
    // Creating a temporary is the only answer that holds for ACLs, read-only mounts and full
    // file systems alike; an uncommitted one leaves nothing behind.
    std::string error;
    if (PartFile::create(folder, NameClaim{}, error)) return {};
    return "Cannot write to " + folder->path() + ": " + error;
}

std::string fitName(std::string stem, const std::string& tail) {
    if (stem.size() + tail.size() <= MaxNameBytes) return stem + tail;
    size_t keep = tail.size() < MaxNameBytes ? MaxNameBytes - tail.size() : 0;
    // Back to the start of a character, then before an escape the cut would split.
    while (keep > 0 && keep < stem.size() &&
           (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
        --keep;
    const size_t percent = stem.rfind('%', keep == 0 ? 0 : keep - 1);
    if (percent != std::string::npos && percent + 3 > keep) keep = percent;
    stem.resize(keep);
    return stem + tail;
}

std::string nameExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    const size_t length = name.size() - dot - 1;
    if (length < 1 || length > 5) return {};
    for (size_t i = dot + 1; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i]))) return {};
    return name.substr(dot);
}

std::string plainSaveName(const std::string& address) {
    const std::string_view path = addressPath(address);
    const size_t slash = path.rfind('/');
    const std::string segment(path.substr(slash == std::string_view::npos ? 0 : slash + 1));
    const QByteArray decodedBytes =
        QByteArray::fromPercentEncoding(QByteArray(segment.data(), qsizetype(segment.size())));
    const std::string_view decoded(decodedBytes.constData(), size_t(decodedBytes.size()));
    // No file name at all: refused as such when the transfer starts.
    if (decoded == "." || decoded == "..") return std::string(decoded);
    std::string name;
    for (size_t at = 0; at < decoded.size();) {
        const size_t length = utf8CharLength(decoded, at);
        if (length == 0 || (length == 1 && escapedInName(decoded[at], at == 0))) {
            appendEscaped(name, static_cast<unsigned char>(decoded[at++]));
            continue;
        }
        if (misleadingCharacter(decoded.substr(at, length))) {
            for (size_t end = at + length; at < end; ++at)
                appendEscaped(name, static_cast<unsigned char>(decoded[at]));
            continue;
        }
        name.append(decoded.substr(at, length));
        at += length;
    }
    const std::string ext = nameExtension(name);
    return fitName(name.substr(0, name.size() - ext.size()), ext);
}

BatchNamer::BatchNamer(const std::string& searchDirName, bool numbered,
                       const std::vector<std::string>& namesInFolder, NameRules rules)
    : phrase_(phraseName(searchDirName)), numbered_(numbered), rules_(rules) {
    // Plain names replace what the folder holds under the same spelling; numbered names
    // avoid all of it.
    for (const std::string& name : namesInFolder) {
        if (numbered_)
            taken_.insert(nameKey(name, rules_));
        else if (rules_.foldsCase)
            spelled_.emplace(nameKey(name, rules_), name);
    }
}

bool BatchNamer::taken(const std::string& name) const {
    const std::string key = nameKey(name, rules_);
    if (taken_.count(key)) return true;
    const auto spelled = spelled_.find(key);
    return spelled != spelled_.end() && spelled->second != name;
}

std::string BatchNamer::next(const std::string& address) {
    const std::string plain = plainSaveName(address);
    std::string name;
    if (numbered_) {
        const std::string ext = nameExtension(plain);
        unsigned long long& n = nextNumber_.try_emplace(ext, 1).first->second;
        // The suffix is built without a literal copied in place: GCC 12 -O3 reports a false
        // overflow for "_" + std::string.
        const auto suffix = [&ext](unsigned long long number) {
            std::string text(1, '_');
            text += std::to_string(number);
            return text += ext;
        };
        while (taken(name = fitName(phrase_, suffix(n))))
            ++n;
        ++n;
    } else {
        name = plain;
        for (unsigned long long n = 2; taken(name); ++n)
            name = withNumberBeforeExtension(plain, n);
    }
    taken_.insert(nameKey(name, rules_));
    return name;
}

std::string BatchNamer::nextAfter(const std::string& address, const std::string& taken) {
    taken_.insert(nameKey(taken, rules_));
    return next(address);
}

std::vector<std::string> namesInFolder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir))
        names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
}

} // namespace lumi
