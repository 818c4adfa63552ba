#pragma once
// CREDITS.txt in the save folder: after a download batch, one line for each saved picture
// whose source names a licence (its file name, title, creator, licence and landing page),
// the attribution the open licences ask for. New lines are added to the end of the file.
#include <functional>
#include <string>
#include <vector>

#include "analysis/SearchServices.h"

class TIniFile;

namespace lumi {

class IniEntries;
struct BatchItem;

constexpr const char* CreditsFileName = "CREDITS.txt";
// An existing CREDITS.txt longer than this is left alone rather than read and rewritten.
constexpr int64_t MaxCreditsFileBytes = 16 * 1024 * 1024;

// "WriteCredits" in [Options], on unless set.
bool creditsWanted(const IniEntries& settings);
void writeCreditsWanted(TIniFile& settings, bool wanted);

// `file.jpg: "Title" by Creator, CC BY-SA 4.0 (licence address), from landing page`; parts
// that are not known are left out, and control characters become blanks so that no text
// of a page can start a line of its own.
std::string creditLine(const std::string& fileName, const PictureSource& source);

// Adds the credit lines of a finished batch to folder/CREDITS.txt when the settings want it
// and a saved item carries a licence. sourceOf gives an address's source or nullptr. The
// file is rewritten whole under a temporary name and never through a link. Returns the
// problem in words ("" when written or nothing was to be written).
std::string writeBatchCredits(const IniEntries& settings, const std::string& folder,
                              const std::vector<BatchItem>& items,
                              const std::function<const PictureSource*(const std::string&)>& sourceOf);

} // namespace lumi
