#include "engine/SmartSave.h"

#include <cerrno>
#include <cctype>

#include <dirent.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QUtf8StringView>

#include "base/AppPaths.h"
#include "base/FolderScan.h"
#include "base/IniFiles.h"
#include "base/SettingKeys.h"
#include "base/PartFile.h"
#include "base/TextOps.h"

namespace lumi {

namespace {
void makeFolder(const std::string& path) {
    QDir().mkdir(qtPath(path));
}

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
    return name.substr(0, name.size() - ext.size()) + " (" + std::to_string(n) + ")" + ext;
}
} // namespace

SaveOptions saveOptionsFromSettings(const TIniFile& settings) {
    SaveOptions options;
    const auto entries = settings.Entries();
    options.savePath = readSetting(*entries, setting::SavePath);
    options.subDir = readSetting(*entries, setting::SubDir);
    options.numbered = readSetting(*entries, setting::NumberedList);
    return options;
}

std::string phraseName(const std::string& searchDirName) {
    std::string name = textTrim(searchDirName);
    const size_t first = name.find_first_not_of('.');
    name.erase(0, first == std::string::npos ? name.size() : first);
    return textTrim(name);
}

std::string PrepareSaveFolder(const SaveOptions& options, const std::string& searchDirName) {
    const std::string phrase = phraseName(searchDirName);
    if (!options.subDir) {
        makeFolder(options.savePath);
        return options.savePath;
    }
    std::string folder = withTrailingSlash(options.savePath);
    makeFolder(folder);
    if (phrase.empty()) {
        // The folder itself; the root keeps its only "/".
        if (folder.size() > 1) folder.pop_back();
        return folder;
    }
    folder += phrase;
    makeFolder(folder);
    return folder;
}

std::string folderWriteProblem(const std::string& folder) {
    // Creating and removing a probe is the only answer that holds for ACLs, read-only mounts
    // and full file systems alike.
    std::string error;
    if (auto probe = PartFile::create(withTrailingSlash(folder) + "lumisift-probe", error))
        return {};
    return "Cannot write to " + folder + ": " + error;
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
    const std::string segment(path.substr(path.rfind('/') == std::string_view::npos
                                              ? 0
                                              : path.rfind('/') + 1));
    const QByteArray decoded =
        QByteArray::fromPercentEncoding(QByteArray(segment.data(), qsizetype(segment.size())));
    if (decoded.contains('/') || decoded.contains('\0') ||
        !QUtf8StringView(decoded).isValidUtf8())
        return segment;
    return decoded.toStdString();
}

BatchNamer::BatchNamer(const std::string& searchDirName, bool numbered,
                       const std::vector<std::string>& namesInFolder)
    : phrase_(phraseName(searchDirName)), numbered_(numbered) {
    // Plain names replace what the folder holds; only numbered names avoid it.
    if (numbered_) taken_.insert(namesInFolder.begin(), namesInFolder.end());
}

std::string BatchNamer::next(const std::string& address) {
    const std::string plain = plainSaveName(address);
    std::string name;
    if (numbered_) {
        const std::string ext = nameExtension(plain);
        unsigned long long& n = nextNumber_.try_emplace(ext, 1).first->second;
        while (taken_.count(name = phrase_ + "_" + std::to_string(n) + ext))
            ++n;
        ++n;
    } else {
        name = plain;
        for (unsigned long long n = 2; taken_.count(name); ++n)
            name = withNumberBeforeExtension(plain, n);
    }
    taken_.insert(name);
    return name;
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
