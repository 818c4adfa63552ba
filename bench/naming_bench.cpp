// Deciding the names of a numbered download batch: 10 000 pictures of two extensions into a
// folder that already holds 2 000 numbered pictures, from one listing of the folder to the
// last name (goal: under 100 ms).
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "engine/DownloadBatch.h"

namespace {

constexpr int BatchNames = 10000;
constexpr int NamesPresent = 2000;

void BM_NumberedNames10k(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    // Every other number taken, so that the batch fills gaps before it runs past the end.
    for (int i = 0; i < NamesPresent; ++i)
        std::fclose(std::fopen((folder + "/cats_" + std::to_string(2 * i + 1) + ".jpg").c_str(), "w"));
    std::vector<std::string> addresses;
    for (int i = 0; i < BatchNames; ++i)
        addresses.push_back("http://www.example.com/gallery/" + std::to_string(i) +
                            (i % 4 == 0 ? ".gif?size=large" : ".jpg"));
    const lumi::SaveOptions options{folder, false, true};
    size_t named = 0;
    for (auto _ : state)
        named = lumi::planBatch(addresses, options, "cats").items.size();
    state.counters["names"] = static_cast<double>(named);
    state.SetLabel("goal: under 100 ms");
}

} // namespace

BENCHMARK(BM_NumberedNames10k)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
