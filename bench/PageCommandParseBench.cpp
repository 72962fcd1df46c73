// Page command grammar: parses per second over the canonical forms and typical typed texts.
//   cmake -S . -B build -DCVL_BENCH=ON && cmake --build build -j2 --target PageCommandParseBench
//   build/bench/PageCommandParseBench
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "pagecmd/PageCommandParser.h"

namespace {

const std::vector<std::string>& typedTexts() {
    static const std::vector<std::string> texts = {
        "Please can you rotate page 2 left",
        "delete pages three through five",
        "get rid of the last 2 pages",
        "split this into two",
        "split every ten pages",
        "could you turn pages 4, 6 and 8 upside-down?",
        "I'd like to move page 12 after page 3",
        "swap page one and page twenty-one",
        "save the odd pages as JPGs",
        "make it small enough to email",
        "extract p.4-p.9 into a new PDF",
        "add a blank page before page 7",
        "duplicate this page",
        "delete all pages except 3",
        "what is on page 2?",
        "delete the comments on page 2",
        "reverse pages 2-6",
        "reorder pages 3,1,2,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,"
        "28,29,30",
        "frobnicate the png",
        "hello there",
    };
    return texts;
}

void parseAll(benchmark::State& state, const std::vector<std::string>& texts) {
    const std::vector<int> selection = {2, 5};
    for (auto _ : state) {
        for (const auto& text : texts)
            benchmark::DoNotOptimize(cvl::PageCommandParser::parse(text, 30, 4, selection));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(texts.size()));
}

void BM_ParseCanonicalForms(benchmark::State& state) {
    parseAll(state, cvl::PageCommandParser::canonicalForms);
}
BENCHMARK(BM_ParseCanonicalForms);

void BM_ParseTypedTexts(benchmark::State& state) {
    parseAll(state, typedTexts());
}
BENCHMARK(BM_ParseTypedTexts);

// A pasted wall of text: reading it stays linear in its length.
void BM_ParseLongText(benchmark::State& state) {
    std::string text = "please rotate page 3 left ";
    while (text.size() < static_cast<std::size_t>(state.range(0)))
        text += "save page & copy page 1 twenty-one to thirty p.4 \u00e9 ";
    for (auto _ : state) benchmark::DoNotOptimize(cvl::PageCommandParser::parse(text, 30, 4, {}));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseLongText)->Arg(1000)->Arg(10000)->Arg(100000);

void BM_AcceptRewrite(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(cvl::PageCommandParser::acceptRewrite(
            "get rid of pages three through five", "delete pages 3-5", 30, 1, {}));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AcceptRewrite);

}  // namespace
