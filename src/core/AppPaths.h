#pragma once
// Where the program keeps its files: the settings file and the slideshow scratch folder
// beside the program, or under the user's configuration and cache folders when the
// program's folder is not writable. Tests point the program folder elsewhere.
#include <string>

namespace lumi {

// The folder the program runs from (overridable); ends without "/".
std::string programFolder();
// Replaces the program folder; an empty text restores the real one.
void setProgramFolder(const std::string& folder);

// "lumisift.ini" beside the program, or in the user's configuration folder.
std::string settingsFilePath();
// "slideshow/" beside the program, or in the user's cache folder; ends with "/".
std::string slideshowFolder();

} // namespace lumi
