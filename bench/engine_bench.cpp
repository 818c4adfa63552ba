// Duplicate tests of the engine's lists at 100 and 100 000 entries, 100 000 rows added to
// the results list through AddToListView, with and without a tree view showing them, and a
// 10 MB gallery page and a 5 MB archive answer taken from their bytes into the engine's queues.
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeView>

#include "GalleryPage.h"
#include "analysis/PageRouting.h"
#include "engine/PageBuffer.h"
#include "engine/SearchEngine.h"

namespace {

// An engine with stopped timers over a settings file in a scratch folder.
struct BenchEngine {
    BenchEngine() {
        engine = std::make_unique<lumi::SearchEngine>(lumi::SearchEngineSetup{
            dir.filePath(QStringLiteral("lumisift.ini")).toStdString(), {"h", "h", "h"}, false, nullptr});
        for (QTimer* timer : {engine->Timer1, engine->Timer2, engine->Timer3, engine->Timer4,
                              engine->Timer5, engine->TimerBlinkSearch})
            timer->stop();
    }
    QTemporaryDir dir;
    std::unique_ptr<lumi::SearchEngine> engine;
};

std::string address(int64_t i) {
    return "http://www.example.com/gallery/" + std::to_string(i) + ".jpg";
}

void BM_GetPageSeenDuplicate(benchmark::State& state) {
    BenchEngine b;
    for (int64_t i = 0; i < state.range(0); ++i)
        b.engine->QueueForGetPage(address(i), 99);
    const std::string probe =
        "HTTP://WWW.EXAMPLE.COM/gallery/" + std::to_string(state.range(0) / 2) + ".jpg";
    for (auto _ : state)
        b.engine->QueueForGetPage(probe, 99);
    state.SetItemsProcessed(state.iterations());
}

void BM_FoundListLookup(benchmark::State& state) {
    BenchEngine b;
    b.engine->SearchButtonClick("bench");
    for (int64_t i = 0; i < state.range(0); ++i)
        b.engine->AddToListView(address(i), 0);
    const std::string present = address(state.range(0) / 2);
    const std::string absent = address(state.range(0) + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.engine->foundListContains(present));
        benchmark::DoNotOptimize(b.engine->foundListContains(absent));
    }
    state.SetItemsProcessed(state.iterations() * 2);
}

void BM_CheckLinkQueueDuplicate(benchmark::State& state) {
    BenchEngine b;
    for (int64_t i = 0; i < state.range(0); ++i)
        b.engine->QueueForCheckLink(address(i));
    const std::string probe = address(state.range(0) - 1);
    for (auto _ : state)
        b.engine->QueueForCheckLink(probe);
    state.SetItemsProcessed(state.iterations());
}

constexpr int64_t ResultRows = 100000;

void addRows(lumi::SearchEngine& engine) {
    engine.SearchButtonClick("bench");
    for (int64_t i = 0; i < ResultRows; ++i)
        engine.AddToListView(address(i), i % 3 == 0 ? 0 : 20000 + i);
    engine.results().publishPendingRows();
}

void BM_AddToListView100k(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        BenchEngine b;
        state.ResumeTiming();
        addRows(*b.engine);
        state.PauseTiming();
        b.engine.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * ResultRows);
    state.SetLabel("goal: under 150 ms");
}

// The same rows while a tree view shows the list, including the view's layout and one paint.
void BM_AddToListView100kShown(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        BenchEngine b;
        QTreeView view;
        view.setUniformRowHeights(true);
        view.setRootIsDecorated(false);
        view.setModel(&b.engine->results());
        view.resize(400, 600);
        view.show();
        QApplication::processEvents();
        state.ResumeTiming();
        addRows(*b.engine);
        QApplication::processEvents();
        view.grab();
        state.PauseTiming();
        view.setModel(nullptr);
        b.engine.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * ResultRows);
}

// What a finished fetch of a 10 MB gallery hands to the analysis (the bytes a fetch keeps),
// split into lines and routed as an ordinary page into a searching engine.
void BM_PageToQueues10MB(benchmark::State& state) {
    std::string page = lumi::bench::generateGalleryPage(10 << 20);
    page.resize(static_cast<size_t>(lumi::MaxPageBytes));
    size_t queued = 0;
    for (auto _ : state) {
        state.PauseTiming();
        BenchEngine b;
        b.engine->Searching = true;
        b.engine->SearchRecursive = true;
        state.ResumeTiming();
        lumi::PageLines lines;
        LoadMemoFromMemoryStream(lines, page);
        lumi::routePageByEngine(*b.engine, 99, lines, "http://www.example.com/gallery/index.htm");
        state.PauseTiming();
        queued = b.engine->CheckLinkQueue.size() + b.engine->GetPageQueue.size();
        b.engine.reset();
        state.ResumeTiming();
    }
    state.counters["queued"] = static_cast<double>(queued);
    state.SetLabel("goal: under 150 ms");
}

// A 5 MB archive answer of 20 000 results, from its bytes to the link-check queue with
// every picture's source remembered.
void BM_ArchiveAnswerToQueues5MB(benchmark::State& state) {
    const std::string answer = lumi::bench::generateArchiveAnswer(20000);
    size_t queued = 0;
    for (auto _ : state) {
        state.PauseTiming();
        BenchEngine b;
        b.engine->Searching = true;
        state.ResumeTiming();
        b.engine->takeArchiveAnswer(lumi::ServiceId::Openverse, answer);
        while (b.engine->archivePicturesWaiting() > 0)
            QCoreApplication::processEvents();
        state.PauseTiming();
        queued = b.engine->CheckLinkQueue.size();
        b.engine.reset();
        state.ResumeTiming();
    }
    state.counters["queued"] = static_cast<double>(queued);
    state.counters["answer_mb"] = static_cast<double>(answer.size()) / 1e6;
    state.SetLabel("goal: under 100 ms");
}

} // namespace

BENCHMARK(BM_ArchiveAnswerToQueues5MB)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GetPageSeenDuplicate)->Arg(100)->Arg(100000);
BENCHMARK(BM_FoundListLookup)->Arg(100)->Arg(100000);
BENCHMARK(BM_CheckLinkQueueDuplicate)->Arg(100)->Arg(100000);
BENCHMARK(BM_AddToListView100k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PageToQueues10MB)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AddToListView100kShown)->Unit(benchmark::kMillisecond)->Iterations(3);
