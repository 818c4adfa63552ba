#pragma once
// One row per picture, whichever services found it: the key that tells two addresses of one
// picture apart from two pictures, and the rule that makes one source of two. The row is
// credited by the most specific source, so which service answered first does not matter.
#include <string>
#include <vector>

#include "analysis/SearchServices.h"

namespace lumi {

// The same picture has the same key: a Wikimedia upload ("/wikipedia/commons/a/ab/Name.jpg",
// or a rendition "/wikipedia/commons/thumb/a/ab/Name.jpg/640px-Name.jpg") is known by its
// file name ("commons:Name.jpg"), any other picture by its address without the scheme.
std::string pictureKey(const std::string& url);
bool isCommonsFileKey(const std::string& key);

// Makes `into` the source of a picture that `from` found too. The fields come from the more
// specific source (one naming a licence over one without; Commons over the others for a
// Commons file), each field the other lacks taken from it; `services` lists both finders,
// the credited one first.
void mergeSource(PictureSource& into, PictureSource from, bool commonsFile);

// The services that found the picture, the credited one first (one entry at least).
std::vector<ServiceId> findersOf(const PictureSource& source);

} // namespace lumi
