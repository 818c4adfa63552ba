#pragma once
// Where the Download command saves pictures: the save folder (optionally a sub-folder named
// after the search phrase) and the file names (optionally the phrase with a number).
#include <functional>
#include <string>

class TIniFile;

namespace lumi {

// Shown when the Download command finds no save folder in the settings.
inline constexpr const char* NoSaveFolderMessage = "You must specify a directory first!";

// The "Smart Save" options, read anew for every command.
struct SaveOptions {
    std::string savePath;  // "SavePath"
    bool subDir = false;   // "SubDir": a sub-folder named after the phrase
    bool numbered = false; // "NumberedList": phrase_N names
};
SaveOptions saveOptionsFromSettings(const TIniFile& settings);

// The folder the pictures go to, without a trailing "/": "SavePath", or with subDir
// "SavePath" + "/" + searchDirName. Missing folders are created one level at a time (an
// outcome that is not checked: a folder that cannot be made fails the file creations).
// An empty searchDirName puts the pictures into "SavePath" itself.
std::string PrepareSaveFolder(const SaveOptions& options, const std::string& searchDirName);

// The last four characters of name (all of it when shorter); no dot is looked for.
std::string numberedExtension(const std::string& name);

// The name to save the picture of address under. Plain: the address's file-name part.
// Numbered: searchDirName + "_" + n + numberedExtension(file-name part) for the first
// n = 1, 2, ... that taken() does not refuse, so gaps are filled and numbers are counted
// per extension.
std::string smartSaveName(const std::string& address, const std::string& searchDirName,
                          bool numbered, const std::function<bool(const std::string&)>& taken);

} // namespace lumi
