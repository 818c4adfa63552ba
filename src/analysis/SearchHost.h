#pragma once
// What the page analysis may ask of the search engine: the three hand-offs, the results
// test and the two check-box states. The engine implements it; tests and
// `lumisift-cli extract` put a recorder in its place.
#include <cstdint>
#include <string>

namespace lumi {

class SearchHost {
public:
    virtual ~SearchHost() = default;

    virtual void QueueForGetPage(const std::string& url, int engine) = 0;
    virtual void QueueForCheckLink(const std::string& url) = 0;
    // size in bytes; 0 when unknown (no check made), -1 when a check saw no content-length.
    virtual void AddToListView(const std::string& url, int64_t size) = 0;
    // Whether FoundList already holds url (letter case ignored).
    virtual bool foundListContains(const std::string& url) const = 0;
    // The live state of the "Check Links" box, read at the moment an address is found.
    virtual bool checkLinksChecked() const = 0;
    // SearchRecursive: the "Recursive Search" box as it was at search start.
    virtual bool searchRecursive() const = 0;
    // Appends a line to the diagnostics window's memo.
    virtual void appendDiagnosticsLine(const std::string& line) = 0;
};

} // namespace lumi
