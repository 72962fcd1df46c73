// Query latency on an index built beforehand (bench/run_search_bench.sh builds it from the
// generated corpus): exact and fuzzy searches as the window runs them, including grouping,
// locating and snippets. The index path comes from CVL_BENCH_DB.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "search/CVSearchIndex.h"
#include "search/IndexQueries.h"
#include "search/SearchMatching.h"
#include "search/SqliteDb.h"

namespace {

cvl::CVSearchIndex* benchIndex() {
    static std::unique_ptr<cvl::CVSearchIndex> index = [] {
        const char* path = std::getenv("CVL_BENCH_DB");
        return std::make_unique<cvl::CVSearchIndex>(path ? path : "searchindex.db");
    }();
    return index.get();
}

void exact(benchmark::State& state, const char* q) {
    auto* index = benchIndex();
    std::int64_t docs = 0;
    for (auto _ : state) {
        auto r = index->searchExact(q);
        docs = static_cast<std::int64_t>(r.size());
        benchmark::DoNotOptimize(r);
    }
    state.counters["docs"] = static_cast<double>(docs);
}

void fuzzy(benchmark::State& state, const char* q) {
    auto* index = benchIndex();
    std::int64_t docs = 0;
    for (auto _ : state) {
        auto r = index->searchFuzzy(q);
        docs = static_cast<std::int64_t>(r.size());
        benchmark::DoNotOptimize(r);
    }
    state.counters["docs"] = static_cast<double>(docs);
}

// The index's search statement alone, stepped through every row without grouping: the floor
// under a query's time that the statement itself sets.
void statement(benchmark::State& state, const char* q, bool fuzzy) {
    const std::string expression =
        fuzzy ? cvl::SearchMatching::fuzzyExpression(cvl::SearchMatching::trigrams(q))
              : cvl::SearchMatching::exactExpression(q);
    const char* path = std::getenv("CVL_BENCH_DB");
    auto db = cvl::IndexQueries::openReader(path ? path : "searchindex.db");
    cvl::SqliteStatement& st = db->cached(
        "SELECT c.path, c.atype, c.anchor, c.page, c.body\n"
        "FROM chunk_fts f JOIN chunk c ON c.id = f.rowid\n"
        "WHERE chunk_fts MATCH ? ORDER BY rank LIMIT ?;");
    std::int64_t rows = 0;
    for (auto _ : state) {
        st.bindText(1, expression);
        st.bindInt(2, fuzzy ? 6000 : 24000);
        rows = 0;
        while (st.stepRow()) rows += static_cast<std::int64_t>(st.columnView(4).size() > 0);
        st.reset();
    }
    state.counters["rows"] = static_cast<double>(rows);
}

void statementExact(benchmark::State& state, const char* q) {
    statement(state, q, false);
}
void statementFuzzy(benchmark::State& state, const char* q) {
    statement(state, q, true);
}

}  // namespace

#define CVL_QUERY_BENCH(fn, name, q)    \
    BENCHMARK_CAPTURE(fn, name, q)      \
        ->Unit(benchmark::kMillisecond) \
        ->Repetitions(9)                \
        ->ReportAggregatesOnly(true)

CVL_QUERY_BENCH(exact, rare_word, "zephyrine");
CVL_QUERY_BENCH(exact, common_word, "indemnification");
CVL_QUERY_BENCH(exact, phrase, "breach of warranty");
CVL_QUERY_BENCH(exact, accented,
                "\xc3\x89"
                "cole");
CVL_QUERY_BENCH(statementExact, common_word, "indemnification");
CVL_QUERY_BENCH(fuzzy, transposed, "indemnifciation");
CVL_QUERY_BENCH(fuzzy, misspelt_rare, "zepyhrine");
CVL_QUERY_BENCH(statementFuzzy, transposed, "indemnifciation");
