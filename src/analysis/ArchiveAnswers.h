#pragma once
// The readers of the picture archives' JSON answers (Openverse, Wikimedia Commons,
// SearXNG): the JPEG pictures an answer lists, with where each came from, and where the
// next result page starts. They read with QJsonDocument, whose nesting limit holds on
// hostile input; the caller caps the body's size.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/SearchServices.h"

namespace lumi {

struct ArchivePicture {
    std::string url; // http or https, non-ASCII bytes percent-escaped
    int64_t size = 0; // bytes the answer announces; 0 when unknown
    // Neither a type nor a ".jpg"/".jpeg" path says it is a JPEG: only a link check that
    // sees "image/jpeg" (or the JPEG signature) may list it.
    bool typeUnknown = false;
    PictureSource source;
};

struct ArchiveAnswer {
    // False when the body is not the JSON the service answers with; only message and lagged
    // may then be set.
    bool understood = false;
    std::vector<ArchivePicture> pictures; // JPEG results in answer order
    size_t results = 0;                   // every result the answer listed, JPEG or not
    // Where the next result page starts (a page number, or Commons' result offset); 0 when
    // the answer says there is none.
    int64_t next = 0;
    // The service's own words when the answer is an error (Commons' error info, Openverse's
    // detail), kept whether or not the answer was understood; and whether it is Commons'
    // "maxlag", which asks to be waited out as a 429 is.
    std::string message;
    bool lagged = false;
    // Commons' batch is not complete: the next request asks for the same results again with
    // these parameters ("&iicontinue=...&continue=..."), and `next` is where that batch
    // started.
    std::string continuation;
    // SearXNG's engines that failed for this answer, with why ("timeout"), and every engine
    // the answer names, failed or not.
    std::vector<std::pair<std::string, std::string>> failedEngines;
    std::vector<std::string> engines;
};

// Reads one answer of an archive service; `position` is where the request started (page
// number from 1, or Commons' offset from 0), so that a next page that does not move on is
// taken as no next page.
ArchiveAnswer readArchiveAnswer(ServiceId service, std::string_view body, int64_t position);

// Openverse allows anonymous callers this many result pages of a search.
constexpr int64_t OpenverseAnonymousPages = 20;
// Longest continuation text of a Commons batch that is sent back.
constexpr size_t MaxContinuationBytes = 1024;

} // namespace lumi
