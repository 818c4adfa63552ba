#pragma once
// Where the Download command saves pictures: the save folder (optionally a sub-folder named
// after the search phrase) and the file names (optionally the phrase with a number).
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/SaveFolder.h"

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

// The folder the pictures go to, held open: "SavePath", or with subDir the folder
// phraseName(searchDirName) inside it. Missing folders are created one level at a time and
// opened as they are, never through a cleaned path. Nothing, with error set, when one
// cannot be opened. An empty phrase puts the pictures into "SavePath" itself.
std::shared_ptr<SaveFolder> openSaveFolder(const SaveOptions& options,
                                           const std::string& searchDirName, std::string& error);

// Why nothing can be saved in folder, in words ("Cannot write to /p: Permission denied"), or
// empty when a file can be created there.
std::string folderWriteProblem(const std::shared_ptr<const SaveFolder>& folder);

// Longest name of one folder entry, in bytes.
inline constexpr size_t MaxNameBytes = 255;

// stem + tail, stem shortened when the whole is longer than MaxNameBytes: it then ends on
// whole UTF-8 characters and whole %XX escapes.
std::string fitName(std::string stem, const std::string& tail);

// The extension a saved name keeps: the last dot of name and what follows it when that is
// 1 to 5 letters or digits; otherwise nothing.
std::string nameExtension(const std::string& name);

// The last segment of the address's path (no query, no fragment) as a file name: its %XX
// escapes decoded, except that control characters, "/", a leading "." and bytes that are not
// UTF-8 (escaped or raw) are written %XX, and shortened to MaxNameBytes keeping its
// extension.
std::string plainSaveName(const std::string& address);

// Names the pictures of one batch in one pass over what the folder already holds. Plain: the
// address's name, with " (2)", " (3)" before the extension when the batch gave it already
// (an existing file of that name is replaced). Numbered: phrase + "_" + n + extension for the
// first n that neither the folder nor the batch holds, counted per extension, so gaps are
// filled and deciding N names takes time linear in N and the folder's size.
// When a name proves taken at the moment it is claimed, nextAfter gives the next one.
class BatchNamer {
public:
    BatchNamer(const std::string& searchDirName, bool numbered,
               const std::vector<std::string>& namesInFolder);
    std::string next(const std::string& address);
    std::string nextAfter(const std::string& address, const std::string& taken);

private:
    std::string phrase_;
    bool numbered_;
    std::unordered_set<std::string> taken_;
    std::unordered_map<std::string, unsigned long long> nextNumber_;
};

// The names of the entries of folder (empty when it cannot be read).
std::vector<std::string> namesInFolder(const std::string& folder);

} // namespace lumi
