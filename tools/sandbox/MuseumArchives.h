#pragma once
// The open collections of the stand-in web that answer in their APIs' own shapes: the
// Metropolitan Museum of Art (a search of object ids, then each object), the Art Institute
// of Chicago (a search of artworks with IIIF images) and NASA's Image and Video Library (a
// Collection+JSON search). Each phrase has its items, their pictures and landing pages on
// the sites; "hostile-empty" finds nothing and "hostile-apierror" gets each API's error.
#include <string>
#include <vector>

#include "ArchiveModel.h"
#include "SiteModel.h"

namespace lumi::sandbox {

enum class Museum { Met, ArtInstitute, Nasa };

struct MuseumItem {
    std::string service; // the name the program lists it under
    std::string licence; // the collection's, stated for every picture
    std::string id;      // the collection's own: a number, or NASA's id
    std::string title;
    std::string creator;
    std::string picture; // its address as a search lists it
    std::string thumbnail;
    std::string landing;
    bool listed = true; // a public-domain picture the search lists
};

// The items of one collection for the web's phrase, in result order.
std::vector<MuseumItem> museumItems(const Web& web, Museum museum);
// Registers every listed item's picture, thumbnail and landing page on the web's sites.
void buildMuseums(Web& web);

// The collection whose search a request path asks; false for any other path.
bool museumSearchPath(const std::string& path, Museum& museum);
// The search answer for a request target (the phrase is its first "?q=" value).
ArchiveReply museumSearchReply(const Web& web, Museum museum, const std::string& target);
// The Met's objects answer at this path prefix, followed by the object's id.
inline constexpr const char* kMetObjectsPath = "/public/collection/v1/objects/";
// One object of the Met, or the Met's 404 when the web holds no object of that id.
ArchiveReply metObjectReply(const Web& web, const std::string& id);

// The items a search with the default page budget lists: the Met's objects past its result
// pages are never asked.
std::vector<MuseumItem> listedMuseumItems(const Web& web);
// Those rows, one JSON object a line, in the form of archiveListing.
std::string museumListing(const Web& web);

} // namespace lumi::sandbox
