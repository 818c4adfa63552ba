#pragma once
// Folder pages of the stand-in web. Real servers answer a folder address with an index page
// or a listing, and the program's Visit command opens the folder of a picture, so every
// folder that holds pictures answers with a page listing them and the pages that show them.
#include "SiteModel.h"

namespace lumi::sandbox {

// Adds a page under "<folder>/" for each folder of the sites that holds pictures: its
// "index.html" page when it has one, else a listing; a folder that already answers keeps
// its answer.
void addFolderListings(Web& web);

} // namespace lumi::sandbox
