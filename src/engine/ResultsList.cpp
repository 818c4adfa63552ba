// The results list of SearchEngine: the one gate every found image passes, and the size
// filter behind it.
#include "engine/SearchEngine.h"

#include <algorithm>

#include "analysis/UrlUtils.h"
#include "base/ErrorReport.h"
#include "base/SettingKeys.h"
#include "base/TextOps.h"

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

// A known size of 0 (an empty picture) is a size: the lower bound refuses it.
void SearchEngine::addRow(const std::string& url, int64_t size, bool sizeKnown) {
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
        if (!FoundList.addUnique(url)) return;
        PictureSource source = takeSource(url);
        if (ServiceCounts* counts = health_.find(source.service)) ++counts->listed;
        std::string sourceText = sourceColumnText(source, url);
        // The counter reaches the window with the rows it counts (see the constructor).
        display_.foundText = incrementCounterText(display_.foundText);
        results_.appendRow(ExtractFileNameFromURL(url),
                           sizeKnown ? std::to_string(size) : std::string("UNKNOWN"),
                           std::move(source), std::move(sourceText));
    });
}

} // namespace lumi
