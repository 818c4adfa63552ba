#pragma once
// A SearchHost that writes each call as one line ("QueueForGetPage\turl\tengine",
// "QueueForCheckLink\turl", "AddToListView\turl\tsize", "Memo\tline") and lists what
// AddToListView receives, as the engine's FoundList would.
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/SearchHost.h"
#include "base/ErrorReport.h"
#include "base/TextOps.h"

namespace lumi::test {

class RecordingHost : public SearchHost {
public:
    std::vector<std::string> calls;
    std::set<std::string> found; // lower-cased
    bool checkLinks = true;
    bool recursive = false;
    int failAtCall = -1; // the hand-off with this index (from 0) throws

    void QueueForGetPage(const std::string& url, int engine) override {
        record("QueueForGetPage\t" + url + "\t" + std::to_string(engine));
    }
    void QueueForCheckLink(const std::string& url) override { record("QueueForCheckLink\t" + url); }
    void AddToListView(const std::string& url, int64_t size) override {
        record("AddToListView\t" + url + "\t" + std::to_string(size));
        found.insert(textLower(url));
    }
    bool foundListContains(const std::string& url) const override {
        return found.count(textLower(url)) > 0;
    }
    bool checkLinksChecked() const override { return checkLinks; }
    bool searchRecursive() const override { return recursive; }
    void appendDiagnosticsLine(const std::string& line) override {
        calls.push_back("Memo\t" + line);
    }

private:
    void record(std::string line) {
        if (static_cast<int>(handOffs_++) == failAtCall) throw std::runtime_error("refused");
        calls.push_back(std::move(line));
    }
    size_t handOffs_ = 0;
};

// Collects the texts that reach ReportError while it lives.
struct ErrorCapture {
    std::vector<std::string> texts;
    ErrorCapture() {
        setErrorSink([this](const std::string& t) { texts.push_back(t); });
    }
    ~ErrorCapture() { setErrorSink({}); }
};

inline std::string checked(const std::string& url) {
    return "QueueForCheckLink\t" + url;
}
inline std::string listed(const std::string& url) {
    return "AddToListView\t" + url + "\t0";
}
inline std::string queued(const std::string& url, int engine) {
    return "QueueForGetPage\t" + url + "\t" + std::to_string(engine);
}

using Calls = std::vector<std::string>;

} // namespace lumi::test
