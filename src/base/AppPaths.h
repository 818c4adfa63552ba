#pragma once
// Where the program keeps its files and finds the files it ships. A copy that runs from a
// folder the user owns (a build tree, an unpacked folder) keeps its slideshow folder beside
// itself and its settings there too, unless it belongs to a build tree, whose programs share
// one file; an installed copy keeps them in the user's configuration and cache
// folders and never writes into its install folders. Tests point the program folder
// elsewhere.
#include <string>

#include <QString>

namespace lumi {

// The folder the program runs from (overridable); ends without "/".
std::string programFolder();
// Replaces the program folder; an empty text restores the real one.
void setProgramFolder(const std::string& folder);

// True when the program folder is one to write beside: owned by the user, writable, and not
// part of an install tree (a "bin" folder, or a folder under a "usr" or "opt" folder).
bool runsFromOwnFolder();

// A path in the system's 8-bit file-name encoding, as Qt takes it.
QString qtPath(const std::string& path);

// The root of the build tree the program runs from: the nearest folder at most
// MaxBuildTreeDepth levels above it that holds the marker file the build writes; empty
// outside a build tree.
inline constexpr int MaxBuildTreeDepth = 4;
std::string buildTreeRoot();

// "lumisift.ini": run from a build tree, at its root (in the user's configuration folder
// when $XDG_CONFIG_HOME is set); run from another folder the user owns, beside the program;
// installed, in the user's configuration folder.
std::string settingsFilePath();
// "slideshow/" beside the program, or in the user's cache folder; ends with "/".
std::string slideshowFolder();
// The grid's thumbnails on disk: "lumisift/thumbs/" in the user's cache folder, whichever
// copy runs; ends with "/".
std::string thumbnailCacheFolder();
// The per-user registry store: always in the user's configuration folder, since it holds
// what this user has seen whichever copy of the program runs.
std::string registryStorePath();

// A file the program ships (a picture, a library it loads): beside the program first, then
// in the install folders <prefix>/lib/lumisift and <prefix>/share/lumisift next to the
// program's <prefix>/bin. When none holds it, the path beside the program, so that a
// caller's "missing file" report names the place a build puts it.
std::string dataFilePath(const std::string& name);

} // namespace lumi
