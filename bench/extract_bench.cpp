// Throughput of the link extractor on generated pages of 100 KB, 1 MB and 10 MB full of
// anchors, thumbnails and image tags, beside a full HTML parser (gumbo) walking the same
// pages for a href and img src values as the reference. Both report bytes per second.
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <gumbo.h>

#include "GalleryPage.h"
#include "analysis/SearchHost.h"
#include "analysis/unit_LinkExtractor.h"

namespace {

// Counts the hand-offs; nothing is ever listed, so every address reaches the check queue.
class CountingHost : public lumi::SearchHost {
public:
    int64_t pages = 0, checks = 0, listed = 0;
    void QueueForGetPage(const std::string&, int) override { ++pages; }
    void QueueForCheckLink(const std::string&) override { ++checks; }
    void AddToListView(const std::string&, int64_t) override { ++listed; }
    bool foundListContains(const std::string&) const override { return false; }
    bool checkLinksChecked() const override { return true; }
    bool searchRecursive() const override { return true; }
    void appendDiagnosticsLine(const std::string&) override {}
};

lumi::PageLines splitLines(const std::string& page) {
    lumi::PageLines lines;
    size_t start = 0;
    for (size_t at = page.find('\n'); at != std::string::npos; at = page.find('\n', start)) {
        lines.emplace_back(page, start, at - start);
        start = at + 1;
    }
    if (start < page.size()) lines.emplace_back(page.substr(start));
    return lines;
}

const std::string& pageOfSize(size_t bytes) {
    static std::vector<std::pair<size_t, std::string>> pages;
    for (const auto& [size, page] : pages)
        if (size == bytes) return page;
    pages.emplace_back(bytes, lumi::bench::generateGalleryPage(bytes));
    return pages.back().second;
}

void BM_StartExtractLoop(benchmark::State& state) {
    const std::string& page = pageOfSize(static_cast<size_t>(state.range(0)));
    const lumi::PageLines lines = splitLines(page);
    CountingHost host;
    for (auto _ : state) {
        StartExtractLoop(host, lines, "http://host/dir/page.htm");
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(page.size()));
    state.counters["checks/page"] =
        static_cast<double>(host.checks) / static_cast<double>(state.iterations());
    state.counters["pages/page"] =
        static_cast<double>(host.pages) / static_cast<double>(state.iterations());
}

void collectLinks(const GumboNode* node, std::vector<std::string>& links) {
    if (node->type != GUMBO_NODE_ELEMENT) return;
    const GumboElement& element = node->v.element;
    const GumboAttribute* attribute = nullptr;
    if (element.tag == GUMBO_TAG_A)
        attribute = gumbo_get_attribute(&element.attributes, "href");
    else if (element.tag == GUMBO_TAG_IMG)
        attribute = gumbo_get_attribute(&element.attributes, "src");
    if (attribute) links.emplace_back(attribute->value);
    for (unsigned i = 0; i < element.children.length; ++i)
        collectLinks(static_cast<const GumboNode*>(element.children.data[i]), links);
}

void BM_GumboParseAndWalk(benchmark::State& state) {
    const std::string& page = pageOfSize(static_cast<size_t>(state.range(0)));
    size_t found = 0;
    for (auto _ : state) {
        GumboOutput* output =
            gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
        std::vector<std::string> links;
        collectLinks(output->root, links);
        found = links.size();
        benchmark::DoNotOptimize(links.data());
        gumbo_destroy_output(&kGumboDefaultOptions, output);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(page.size()));
    state.counters["links/page"] = static_cast<double>(found);
}

} // namespace

BENCHMARK(BM_StartExtractLoop)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GumboParseAndWalk)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
