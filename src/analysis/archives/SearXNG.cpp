// A SearXNG instance the user names (its JSON output must be allowed there). A metasearch
// names no creator or licence: the page it links to must be asked. It has no public address:
// it is on by default only while LUMISIFT_SEARXNG_URL stands in for the one entered.
#include <QJsonObject>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveFields.h"
#include "analysis/ArchiveService.h"

namespace lumi {

namespace {

std::string searchUrl(const std::string& base, const std::string& query, int64_t position) {
    return base + "/search?q=" + query + "&format=json&categories=images&pageno=" +
           std::to_string(position);
}

void readResultList(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    readResults(root, answer, [&answer](const QJsonObject& r) {
        ArchivePicture picture = jpegCandidate(r, "img_src", "img_format", true);
        if (picture.url.empty()) return;
        picture.source.service = ServiceId::SearXNG;
        picture.source.page = addressField(r, "url");
        picture.source.title = textField(r, "title");
        picture.source.thumbnail = addressField(r, "thumbnail_src");
        answer.pictures.push_back(std::move(picture));
    });
    if (answer.results > 0) answer.next = position + 1;
}

} // namespace

extern const ArchiveService searxngService{
    .id = ServiceId::SearXNG,
    .name = "SearXNG",
    .checkBoxText = "Sear&XNG",
    .setting = {"Services", "SearXNG", false,
                "Services: \"SearXNG\" (on by default while LUMISIFT_SEARXNG_URL is set)"},
    .baseVariable = "LUMISIFT_SEARXNG_URL",
    .publicBase = "",
    .baseSetting = &setting::SearXNGUrl,
    .searchUrl = searchUrl,
    .read = readResultList,
};

} // namespace lumi
