// Openverse (no key): openly licensed pictures gathered from many collections, each with its
// own Creative Commons licence or public-domain mark. Anonymous callers get 20 result pages
// of a search; the search is asked for JPEG files only.
#include <QJsonObject>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveFields.h"
#include "analysis/ArchiveService.h"
#include "analysis/LicenceRights.h"

namespace lumi {

namespace {

std::string searchUrl(const std::string& base, const std::string& query, int64_t position,
                      const std::string&, LicenceFilter licence) {
    return base + "/v1/images/?q=" + query + "&page=" + std::to_string(position) +
           "&page_size=20&extension=jpg,jpeg" + openverseLicenceQuery(licence);
}

void readImages(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    readResults(root, answer, [&answer](const QJsonObject& r) {
        ArchivePicture picture = jpegCandidate(r, "url", "filetype", false);
        if (picture.url.empty()) return;
        picture.size = sizeField(r, "filesize");
        PictureSource& s = picture.source;
        s.service = ServiceId::Openverse;
        s.page = addressField(r, "foreign_landing_url");
        s.title = pictureTitle(textField(r, "title"));
        s.creator = textField(r, "creator");
        s.licenceCode = stringField(r, "license");
        s.licence = licenceNameOfCode(s.licenceCode, stringField(r, "license_version"));
        s.licenceUrl = addressField(r, "license_url");
        s.thumbnail = addressField(r, "thumbnail");
        s.creatorUrl = addressField(r, "creator_url");
        s.provider = textField(r, "provider");
        s.collection = textField(r, "source");
        s.width = pixelsField(r, "width");
        s.height = pixelsField(r, "height");
        answer.pictures.push_back(std::move(picture));
    });
    // Compared as a number: a count like 1e300 does not fit a whole-number type.
    const double pages = numberField(root.value(QLatin1String("page_count")));
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
