#include "engine/SmartSave.h"

#include <QDir>

#include "analysis/UrlUtils.h"
#include "base/FolderScan.h"
#include "base/IniFiles.h"

namespace lumi {

namespace {
void makeFolder(const std::string& path) {
    QDir().mkdir(QString::fromLocal8Bit(path.data(), static_cast<qsizetype>(path.size())));
}
} // namespace

SaveOptions saveOptionsFromSettings(const TIniFile& settings) {
    SaveOptions options;
    options.savePath = settings.ReadString("Options", "SavePath", "");
    options.subDir = settings.ReadBool("Options", "SubDir", false);
    options.numbered = settings.ReadBool("Options", "NumberedList", false);
    return options;
}

std::string PrepareSaveFolder(const SaveOptions& options, const std::string& searchDirName) {
    if (!options.subDir) {
        makeFolder(options.savePath);
        return options.savePath;
    }
    std::string folder = withTrailingSlash(options.savePath);
    makeFolder(folder);
    if (searchDirName.empty()) {
        // The folder itself; the root keeps its only "/".
        if (folder.size() > 1) folder.pop_back();
        return folder;
    }
    folder += searchDirName;
    makeFolder(folder);
    return folder;
}

std::string numberedExtension(const std::string& name) {
    return name.size() <= 4 ? name : name.substr(name.size() - 4);
}

std::string smartSaveName(const std::string& address, const std::string& searchDirName,
                          bool numbered, const std::function<bool(const std::string&)>& taken) {
    const std::string name = ExtractFileNameFromURL(address);
    if (!numbered) return name;
    const std::string ext = numberedExtension(name);
    for (unsigned long long n = 1;; ++n) {
        std::string candidate = searchDirName + "_" + std::to_string(n) + ext;
        if (!taken(candidate)) return candidate;
    }
}

} // namespace lumi
