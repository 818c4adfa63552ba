#include "engine/PictureMerge.h"

#include <algorithm>

namespace lumi {

namespace {

constexpr std::string_view CommonsPrefix = "commons:";

// Higher credits better: a named licence first, then the file's own archive, then any archive
// over a web page. Services of equal standing are ordered by their ids, never by time.
int specificity(const PictureSource& source, bool commonsFile) {
    int rank = 0;
    if (!source.licence.empty() || !source.licenceCode.empty()) rank += 4;
    if (commonsFile && source.service == ServiceId::Commons) rank += 2;
    if (isArchiveService(source.service)) rank += 1;
    return rank;
}

bool creditsBetter(const PictureSource& a, const PictureSource& b, bool commonsFile) {
    const int ra = specificity(a, commonsFile), rb = specificity(b, commonsFile);
    return ra != rb ? ra > rb : a.service < b.service;
}

void fillFrom(std::string& field, std::string& other) {
    if (field.empty()) field = std::move(other);
}

} // namespace

std::string pictureKey(const std::string& url) {
    const std::string path = url.substr(0, url.find_first_of("?#"));
    constexpr std::string_view Uploads = "/wikipedia/commons/";
    if (const size_t at = path.find(Uploads); at != std::string::npos) {
        std::string rest = path.substr(at + Uploads.size());
        if (rest.starts_with("thumb/")) rest.erase(0, 6);
        // "a/ab/Name.jpg[/640px-Name.jpg]": the third segment names the file.
        const size_t first = rest.find('/');
        const size_t second = first == std::string::npos ? first : rest.find('/', first + 1);
        if (second != std::string::npos) {
            const std::string file =
                rest.substr(second + 1, rest.find('/', second + 1) - second - 1);
            if (!file.empty()) return std::string(CommonsPrefix) + file;
        }
    }
    for (const std::string_view scheme : {"http://", "https://"})
        if (url.starts_with(scheme)) return url.substr(scheme.size());
    return url;
}

bool isCommonsFileKey(const std::string& key) {
    return key.starts_with(CommonsPrefix);
}

std::vector<ServiceId> findersOf(const PictureSource& source) {
    if (!source.services.empty()) return source.services;
    return {source.service};
}

void mergeSource(PictureSource& into, PictureSource from, bool commonsFile) {
    std::vector<ServiceId> finders = findersOf(into);
    for (const ServiceId s : findersOf(from))
        if (std::find(finders.begin(), finders.end(), s) == finders.end()) finders.push_back(s);
    if (creditsBetter(from, into, commonsFile)) std::swap(into, from);
    // The licence's fields go together; the others are taken one by one where missing.
    if (into.licence.empty() && into.licenceCode.empty()) {
        into.licence = std::move(from.licence);
        into.licenceCode = std::move(from.licenceCode);
        into.licenceUrl = std::move(from.licenceUrl);
    }
    if (into.creator.empty()) {
        into.creator = std::move(from.creator);
        into.creatorUrl = std::move(from.creatorUrl);
    }
    fillFrom(into.page, from.page);
    fillFrom(into.title, from.title);
    fillFrom(into.thumbnail, from.thumbnail);
    fillFrom(into.provider, from.provider);
    fillFrom(into.collection, from.collection);
    if (into.width <= 0 || into.height <= 0) {
        into.width = from.width;
        into.height = from.height;
    }
    // The credited service first, the others in their own order.
    std::sort(finders.begin(), finders.end());
    std::stable_partition(finders.begin(), finders.end(),
                          [&into](ServiceId s) { return s == into.service; });
    into.services = std::move(finders);
}

} // namespace lumi
