#pragma once
// Where the Download command saves pictures: the save folder (optionally a sub-folder named
// after the search phrase) and the file names (optionally the phrase with a number).
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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

// The phrase as a folder or file name: without the blanks around it and without leading
// dots, so that it names neither a hidden folder nor one above.
std::string phraseName(const std::string& searchDirName);

// The folder the pictures go to, without a trailing "/": "SavePath", or with subDir
// "SavePath" + "/" + phraseName(searchDirName). Missing folders are created one level at a
// time; whether the result can be written is the caller's check (folderWriteProblem).
// An empty phrase puts the pictures into "SavePath" itself.
std::string PrepareSaveFolder(const SaveOptions& options, const std::string& searchDirName);

// Why nothing can be saved in folder, in words ("Cannot write /p: Permission denied"), or
// empty when a file can be created there.
std::string folderWriteProblem(const std::string& folder);

// The extension a saved name keeps: the last dot of name and what follows it when that is
// 1 to 5 letters or digits; otherwise nothing.
std::string nameExtension(const std::string& name);

// The last segment of the address's path (no query, no fragment), its %XX escapes decoded
// when the result is valid UTF-8 without "/" or NUL; as it stands otherwise.
std::string plainSaveName(const std::string& address);

// Names the pictures of one batch in one pass over what the folder already holds. Plain: the
// address's name, with " (2)", " (3)" before the extension when the batch gave it already
// (an existing file of that name is replaced). Numbered: phrase + "_" + n + extension for the
// first n that neither the folder nor the batch holds, counted per extension, so gaps are
// filled and deciding N names takes time linear in N and the folder's size.
class BatchNamer {
public:
    BatchNamer(const std::string& searchDirName, bool numbered,
               const std::vector<std::string>& namesInFolder);
    std::string next(const std::string& address);

private:
    std::string phrase_;
    bool numbered_;
    std::unordered_set<std::string> taken_;
    std::unordered_map<std::string, unsigned long long> nextNumber_;
};

// The names of the entries of folder (empty when it cannot be read).
std::vector<std::string> namesInFolder(const std::string& folder);

} // namespace lumi
