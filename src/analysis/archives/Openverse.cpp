// Openverse (no key): openly licensed pictures gathered from many collections, each with its
// own Creative Commons licence or public-domain mark. Anonymous callers get 20 result pages
// of a search; the search is asked for JPEG files only.
#include <QJsonObject>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveFields.h"
#include "analysis/ArchiveService.h"

namespace lumi {

namespace {

std::string searchUrl(const std::string& base, const std::string& query, int64_t position) {
    return base + "/v1/images/?q=" + query + "&page=" + std::to_string(position) +
           "&page_size=20&extension=jpg,jpeg";
}

// "by-sa" and "2.0" -> "CC BY-SA 2.0"; the public-domain tools keep their own names.
std::string licenceName(const std::string& code, const std::string& version) {
    if (code.empty()) return {};
    std::string name;
    if (code == "cc0")
        name = "CC0";
    else if (code == "pdm")
        name = "Public Domain Mark";
    else {
        name = "CC ";
        for (const char c : code)
            name += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return version.empty() ? name : name + " " + version;
}

void readImages(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    readResults(root, answer, [&answer](const QJsonObject& r) {
        ArchivePicture picture = jpegCandidate(r, "url", "filetype", false);
        if (picture.url.empty()) return;
        picture.size = sizeField(r, "filesize");
        picture.source.service = ServiceId::Openverse;
        picture.source.page = addressField(r, "foreign_landing_url");
        picture.source.title = pictureTitle(textField(r, "title"));
        picture.source.creator = textField(r, "creator");
        picture.source.licence =
            licenceName(stringField(r, "license"), stringField(r, "license_version"));
        picture.source.licenceUrl = addressField(r, "license_url");
        picture.source.thumbnail = addressField(r, "thumbnail");
        answer.pictures.push_back(std::move(picture));
    });
    // Compared as a number: a count like 1e300 does not fit a whole-number type.
    const QJsonValue pageCount = root.value(QLatin1String("page_count"));
    const double pages = pageCount.isDouble() ? pageCount.toDouble() : 0;
    if (static_cast<double>(position) < pages && position < OpenverseAnonymousPages)
        answer.next = position + 1;
}

} // namespace

extern const ArchiveService openverseService{
    .id = ServiceId::Openverse,
    .name = "Openverse",
    .checkBoxText = "O&penverse",
    .setting = {"Services", "Openverse", true, "Services: \"Openverse\""},
    .baseVariable = "LUMISIFT_OPENVERSE_URL",
    .publicBase = "https://api.openverse.org",
    .searchUrl = searchUrl,
    .read = readImages,
};

} // namespace lumi
