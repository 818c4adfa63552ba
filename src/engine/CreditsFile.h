#pragma once
// CREDITS.txt in the save folder, kept as a journal: each saved picture whose source names a
// licence gets one line (its file name, title, creator, licence and landing page), the
// attribution the open licences ask for, written the moment the picture gets its name, so
// that runs at once and a run stopped by a signal lose no line.
#include <functional>
#include <memory>
#include <string>

#include "analysis/SearchServices.h"

class TIniFile;

namespace lumi {

class IniEntries;
class SaveFolder;

constexpr const char* CreditsFileName = "CREDITS.txt";
// An existing CREDITS.txt longer than this is never rewritten; lines are only added.
constexpr int64_t MaxCreditsFileBytes = 16 * 1024 * 1024;

// "WriteCredits" in [Options], on unless set.
bool creditsWanted(const IniEntries& settings);
void writeCreditsWanted(TIniFile& settings, bool wanted);

// `file.jpg: "Title" by Creator, CC BY-SA 4.0 (licence address), from landing page`; parts
// that are not known are left out, and control characters, C1 controls, direction controls
// and Unicode line ends become blanks so that no text of a page can start a line of its own
// or turn one around.
std::string creditLine(const std::string& fileName, const PictureSource& source);

// The journal in one folder. Each record opens CREDITS.txt (never through a link), takes an
// flock on it, and adds one whole line with O_APPEND, flushed with fdatasync. A record that
// replaces rewrites the file under the same lock into a temporary renamed over it, without
// the older lines of that file name. A read-only or non-regular CREDITS.txt is never written.
class CreditsJournal {
public:
    explicit CreditsJournal(std::shared_ptr<const SaveFolder> folder);
    // Adds line (ending it); with replacing, fileName's older lines go first, and an empty
    // line only removes them. The problem in words ("The credits could not be written to
    // PATH: No space left on device"), or empty.
    std::string record(const std::string& fileName, const std::string& line, bool replacing) const;

private:
    std::shared_ptr<const SaveFolder> folder_;
};

// The journal for folder when the settings want credits, else nothing.
std::unique_ptr<CreditsJournal> creditsJournalFor(const IniEntries& settings,
                                                  std::shared_ptr<const SaveFolder> folder);

} // namespace lumi
