#pragma once
// Where the Download command saves pictures: the save folder (optionally a sub-folder named
// after the search phrase) and the file names (optionally the phrase with a number).
#include <memory>
#include <string>
#include <string_view>
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
// The user's home folder: $HOME, else the password database's.
std::string userHomeFolder();

// The options of settings; "SavePath" as expandSavePath makes it of the settings file's
// folder and home.
SaveOptions saveOptionsFromSettings(const TIniFile& settings,
                                    const std::string& home = userHomeFolder());

// A save path as a shell reads it: a leading "~" or "$HOME" ("${HOME}") followed by the end
// or "/" stands for home; a relative path is taken relative to settingsFolder.
std::string expandSavePath(const std::string& path, const std::string& home,
                           const std::string& settingsFolder);

// Whether ch (one whole UTF-8 character) misleads a reader: a C1 control (U+0080-U+009F,
// U+0085 among them), a direction control or mark (U+202A-U+202E, U+2066-U+2069, U+200E,
// U+200F, U+061C) or a Unicode line or paragraph separator (U+2028, U+2029).
bool misleadingCharacter(std::string_view ch);

// Bytes of the UTF-8 character that starts at text[at], or 0 when none starts there.
size_t utf8CharLength(std::string_view text, size_t at);

// The phrase as a folder or file name: control characters and misleading characters become
// blanks (a line break never reaches a name), without the blanks around it and without
// leading dots, so that it names neither a hidden folder nor one above.
std::string phraseName(const std::string& searchDirName);

// The folder the pictures go to, held open: "SavePath", or with subDir the folder
// phraseName(searchDirName) inside it. Missing folders are created one level at a time and
// opened as they are, never through a cleaned path; "SavePath" may be a link to a folder.
// The phrase's folder is named to fit a file system that refuses Windows' names. Nothing,
// with error set, when one cannot be opened. An empty phrase puts the pictures into
// "SavePath" itself.
std::shared_ptr<SaveFolder>
openSaveFolder(const SaveOptions& options, const std::string& searchDirName, std::string& error,
               std::shared_ptr<const FileCalls> calls = FileCalls::system());

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
// escapes decoded, except that control characters, misleading characters, "/", a leading
// "." and bytes that are not UTF-8 (escaped or raw) are written %XX, and shortened to
// MaxNameBytes keeping its extension.
std::string plainSaveName(const std::string& address);

// Names the pictures of one batch in one pass over what the folder already holds. Plain: the
// address's name, with " (2)", " (3)" before the extension when the batch gave it already
// (an existing file of that name is replaced). Numbered: phrase + "_" + n + extension for the
// first n that neither the folder nor the batch holds, counted per extension, so gaps are
// filled and deciding N names takes time linear in N and the folder's size. Names are
// compared as rules say the folder's file system compares them: where case folds, a plain
// name that another case of holds in the folder is taken too.
// When a name proves taken at the moment it is claimed, nextAfter gives the next one.
class BatchNamer {
public:
    BatchNamer(const std::string& searchDirName, bool numbered,
               const std::vector<std::string>& namesInFolder, NameRules rules = {});
    std::string next(const std::string& address);
    std::string nextAfter(const std::string& address, const std::string& taken);

private:
    bool taken(const std::string& name) const;
    std::string phrase_;
    bool numbered_;
    NameRules rules_;
    std::unordered_set<std::string> taken_; // by nameKey
    // Plain names where case folds: the folder's own spelling of each key.
    std::unordered_map<std::string, std::string> spelled_;
    std::unordered_map<std::string, unsigned long long> nextNumber_;
};

// The names of the entries of folder (empty when it cannot be read).
std::vector<std::string> namesInFolder(const std::string& folder);

} // namespace lumi
