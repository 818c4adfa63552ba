#pragma once
// The picture archives of the stand-in web: for each phrase a set of pictures per archive
// (Openverse, Wikimedia Commons, a SearXNG instance) with titles, creators and licences,
// served as the sites' files with a landing page each, and the archives' JSON answers over
// them. Phrases beginning with "hostile-" select answers that test the program's bounds;
// "hostile-shapes" lists the pictures in the shapes real archives use (CDN addresses with
// queries, untyped addresses, thumbnail formats, HTML and entities in the fields).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "SiteModel.h"

namespace lumi::sandbox {

enum class ArchiveKind { Openverse, Commons, SearXNG };

struct ArchiveItem {
    std::string url;     // the picture's address as the answer lists it
    std::string file;    // where the picture is registered on the sites host (when jpeg)
    std::string landing; // its landing page
    std::string title;
    std::string creator;
    std::string licenceCode; // Openverse's "by-sa", ...
    std::string licenceVersion;
    std::string licenceName; // "CC BY-SA 4.0"
    std::string licenceUrl;
    bool jpeg = true;
    int index = 0; // in the archive's result order
    // The answer's type field: "" as the picture is (jpg/png, JPEG/PNG), "none" to leave it
    // out, else this text (a thumbnail's format).
    std::string typeField;
    bool htmlFields = false; // the title and creator arrive as HTML with entities
    bool commonsTitle = false; // Openverse's title is Commons' "File:Name.jpg"
    int width = 640;
    int height = 480;
    std::string titleAsSent;   // the title field as the answer writes it, when not the title
    std::string creatorAsSent; // Commons' Artist as written, when not the creator in a link
    std::string creatorUrl;    // the creator's page the answer names
    bool movedToPng = false;   // the address relocates to a PNG: no row
};

// The services whose answers the sandbox holds back, and for how long, for the phrase.
int archiveDelayMs(const Web& web, ArchiveKind kind);

// The size an answer gives for an item whose picture has `bytes`: Openverse for every
// other picture (null for the rest), Commons always, SearXNG never (0).
int64_t announcedSize(const ArchiveItem& item, ArchiveKind kind, int64_t bytes);

// Result pages each archive serves, and their lengths.
constexpr int kArchivePageSize = 10;

// The items of one archive for the web's phrase, in result order.
std::vector<ArchiveItem> archiveItems(const Web& web, ArchiveKind kind);
// Registers every JPEG item's picture and landing page on the web's sites.
void buildArchives(Web& web);

// The JSON answer of an archive's result page (`position`: page from 1, or Commons' offset
// from 0; `resuming`: the request continues an unfinished Commons batch). sizeOf gives an
// item's picture size in bytes.
struct ArchiveReply {
    int status = 200;
    std::string contentType = "application/json";
    std::string retryAfter; // header value, when not empty
    std::string body;
    // "gzip" when the body is compressed already. Other bodies are compressed by the HTTP
    // server itself for a client that accepts gzip, as the real services' servers do.
    std::string contentEncoding;
};
ArchiveReply archiveReply(const Web& web, ArchiveKind kind, int64_t position, bool resuming,
                          const std::function<int64_t(const ArchiveItem&)>& sizeOf);

// The bytes gzip-compressed.
std::string gzipped(const std::string& bytes);

// What a search with the archives on lists of them, one JSON object a line in the form
// `lumisift-cli search --format jsonl` prints (all but size and licence_url), sorted by
// address; one row per picture, credited as the program credits it; only the JPEG items of
// the web's ordinary and "hostile-shapes", "-merge", "-batch" and "-moved" answers.
std::string archiveListing(const Web& web);

} // namespace lumi::sandbox
