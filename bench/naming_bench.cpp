// Deciding the names of a numbered download batch: 10 000 pictures of two extensions into a
// folder that already holds 2 000 numbered pictures, from one listing of the folder to the
// last name (goal: under 100 ms); and claiming 10 000 names in a folder where every other one
// is taken, each a written, flushed and atomically named file.
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "base/PartFile.h"
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

void BM_ClaimNames10k(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        std::string error;
        const auto folder = lumi::SaveFolder::open(dir.path().toStdString(), error);
        for (int i = 0; i < BatchNames; i += 2)
            std::fclose(std::fopen(folder->pathOf("p_" + std::to_string(i)).c_str(), "w"));
        state.ResumeTiming();
        for (int i = 0; i < BatchNames; ++i) {
            lumi::NameClaim claim{"p_" + std::to_string(i), {}, [](const std::string& taken) {
                                      return taken + "+";
                                  }};
            auto file = lumi::PartFile::create(folder, std::move(claim), error);
            if (!file || !file->write("GIF89a", 6) || !file->commit()) state.SkipWithError("claim");
        }
    }
    state.SetLabel("names claimed on disk");
}

} // namespace

BENCHMARK(BM_ClaimNames10k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_NumberedNames10k)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
