// History store: recording opens and building the history page's document.
//   cmake -S . -B build -DCVL_BENCH=ON && cmake --build build -j2 --target HistoryStoreBench
//   build/bench/HistoryStoreBench
#include <benchmark/benchmark.h>

#include <fstream>

#include "memory/HistoryStore.h"
#include "platform/FileIO.h"
#include "support/TempHome.h"

namespace {

// A store whose timed write never fires during the measurement.
std::unique_ptr<cvl::HistoryStore> quietStore() {
    cvl::HistoryStore::Options o;
    o.scheduleAfter = [](std::chrono::milliseconds, cvl::HistoryStore::Task) {};
    return std::make_unique<cvl::HistoryStore>(std::move(o));
}

// 100,000 opens of 20,000 distinct existing files, until the store has applied all of them.
void BM_Record100kOpens(benchmark::State& state) {
    cvl::test::TempHome home;
    std::vector<std::string> files;
    for (int i = 0; i < 20000; ++i) {
        std::string dir = home / ("docs/d" + std::to_string(i / 500));
        if (i % 500 == 0) cvl::makeDirs(dir);
        files.push_back(dir + "/file" + std::to_string(i) + ".pdf");
        std::ofstream(files.back()) << "%PDF";
    }
    for (auto _ : state) {
        auto store = quietStore();
        for (int i = 0; i < 100000; ++i) store->record(files[size_t(i) % files.size()], false);
        benchmark::DoNotOptimize(store->count());
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_Record100kOpens)->Unit(benchmark::kMillisecond)->UseRealTime();

// The page document (default limit 5000) from a history of 50,000 rows.
void BM_Json50kRows(benchmark::State& state) {
    cvl::test::TempHome home;
    auto store = quietStore();
    for (int i = 0; i < 50000; ++i)
        store->record(
            "/srv/archive/box" + std::to_string(i / 100) + "/doc" + std::to_string(i) + ".pdf",
            false, "open", 1e9 + i);
    for (int i = 0; i < 200; ++i)
        store->setPinned("/srv/pinned/p" + std::to_string(i) + ".pdf", true);
    store->count();
    for (auto _ : state) benchmark::DoNotOptimize(store->json());
}
BENCHMARK(BM_Json50kRows)->Unit(benchmark::kMillisecond)->UseRealTime();

// Writing 50,000 rows to disk (sort, serialise, replace).
void BM_Flush50kRows(benchmark::State& state) {
    cvl::test::TempHome home;
    auto store = quietStore();
    for (int i = 0; i < 50000; ++i)
        store->record("/srv/archive/doc" + std::to_string(i) + ".pdf", false, "open", 1e9 + i);
    store->count();
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        store->record("/srv/archive/doc" + std::to_string(n++ % 50000) + ".pdf", false);
        store->count();
        state.ResumeTiming();
        store->flushNow();
    }
}
BENCHMARK(BM_Flush50kRows)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
