// The results list of SearchEngine: the one gate every found image passes, and the size
// filter behind it.
#include "engine/SearchEngine.h"

#include <algorithm>

#include "analysis/UrlUtils.h"
#include "base/ErrorReport.h"
#include "base/SettingKeys.h"
#include "base/TextOps.h"
#include "engine/PictureMerge.h"

namespace lumi {

// Bounds are in kb of 1000 bytes and computed in 64 bits: a bound of two million kb must not
// wrap into a negative byte count.
bool SearchEngine::CheckSizeLimits(int64_t size) const {
    const auto settings = SettingsFile.Entries();
    bool result = true;
    if (readSetting(*settings, setting::LargerThanBool) &&
        int64_t{readSetting(*settings, setting::LargerThan)} * 1000 > size)
        result = false;
    if (readSetting(*settings, setting::SmallerThanBool) &&
        int64_t{readSetting(*settings, setting::SmallerThan)} * 1000 < size)
        result = false;
    return result;
}

void SearchEngine::AddToListView(const std::string& url, int64_t size) {
    addRow(url, size, size > 0);
}

bool SearchEngine::passesPictureFilter(const PictureSource& source, const std::string& key) {
    const ServiceChoice& f = serviceChoice_;
    const bool licenceFails = !licencePasses(f.licence, source.licenceCode, source.licence);
    const bool sizeFails = (f.minWidth > 0 && source.width < f.minWidth) ||
                     (f.minHeight > 0 && source.height < f.minHeight);
    if (!licenceFails && !sizeFails) return true;
    // A picture counts once, by the first reason it failed on.
    if (!leftOutKeys_.count(key) && leftOutKeys_.size() < MaxFoundRows) {
        leftOutKeys_.emplace(key, licenceFails);
        ++(licenceFails ? leftOut_.licence : leftOut_.size);
    }
    return false;
}

void SearchEngine::countListed(const std::vector<ServiceId>& finders) {
    for (const ServiceId finder : finders)
        if (ServiceCounts* counts = health_.find(finder)) ++counts->listed;
}

std::string SearchEngine::leftOutText() const {
    const ServiceChoice& f = serviceChoice_;
    const uint64_t total = leftOut_.licence + leftOut_.size;
    if (total == 0) return {};
    std::string text = std::to_string(total) + " left out:";
    if (leftOut_.licence > 0) {
        text += ' ';
        text += std::to_string(leftOut_.licence);
        text += " without a licence that passes \"";
        text += licenceFilterLabel(f.licence);
        text += '"';
    }
    if (leftOut_.size > 0) {
        text += leftOut_.licence > 0 ? ", " : " ";
        text += std::to_string(leftOut_.size);
        text += " under " + std::to_string(f.minWidth) + " x " + std::to_string(f.minHeight);
        text += " pixels or of unknown size";
    }
    return text;
}

// A known size of 0 (an empty picture) is a size: the lower bound refuses it.
void SearchEngine::addRow(const std::string& url, int64_t size, bool sizeKnown,
                          const std::string& finalUrl) {
    catchAll("error code : #0044 (AddToListView)", [&] {
        // Refusals leave no trace, so the duplicate test can come last, where it is also
        // the insertion.
        if (!Searching) return;
        if (sizeKnown && !CheckSizeLimits(size)) return;
        // One pass: find_first_of would search the four characters at every position. The
        // rule is the classic path's: archives serve pictures from addresses with queries
        // (CDNs) and escaped UTF-8 names.
        if (!foundInArchive(url) && std::any_of(url.begin(), url.end(), [](char c) {
                return c == '&' || c == '=' || c == '?' || c == '%';
            }))
            return;
        if (url.size() > MaxUrlLength || FoundList.size() >= MaxFoundRows) return;
        const std::string key = pictureKey(url);
        const std::string finalKey = finalUrl.empty() ? key : pictureKey(finalUrl);
        // A picture some other address already listed adds its finders to that row.
        for (const std::string* k : {&key, &finalKey}) {
            const auto listed = listedKeys_.find(*k);
            if (listed == listedKeys_.end()) continue;
            if (pendingSources_.count(url))
                countListed(results_.mergeRowSource(listed->second, takeSource(url),
                                                    isCommonsFileKey(*k)));
            return;
        }
        if (FoundList.contains(url)) return;
        PictureSource source = takeSource(url);
        if (!passesPictureFilter(source, key) || !FoundList.addUnique(url)) return;
        if (const auto left = leftOutKeys_.find(key); left != leftOutKeys_.end()) {
            --(left->second ? leftOut_.licence : leftOut_.size);
            leftOutKeys_.erase(left);
        }
        countListed(findersOf(source));
        pendingKeys_.erase(key);
        if (listedKeys_.size() < MaxFoundRows) {
            listedKeys_.emplace(key, FoundList.size() - 1);
            listedKeys_.emplace(finalKey, FoundList.size() - 1);
        }
        std::string sourceText = sourceColumnText(source, url);
        // The counter reaches the window with the rows it counts (see the constructor).
        display_.foundText = incrementCounterText(display_.foundText);
        results_.appendRow(ExtractFileNameFromURL(url),
                           sizeKnown ? std::to_string(size) : std::string("UNKNOWN"),
                           std::move(source), std::move(sourceText));
    });
}

} // namespace lumi
