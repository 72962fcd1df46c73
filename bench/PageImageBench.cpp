// Page images served to pages (the vtpage scheme): a thumbnail grid, a reader-width page,
// and the first image of a document that is not parsed yet.
//   cmake -S . -B build -DCVL_BENCH=ON && cmake --build build -j2 --target PageImageBench
//   build/bench/PageImageBench
// bench/run_page_image_bench.sh compares the grid with mutool drawing the same thumbnails.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "platform/Dispatch.h"
#include "platform/TextEscape.h"
#include "support/PdfFixtures.h"
#include "support/TempHome.h"
#include "window/PdfPageSource.h"
#include "window/SchemeHandlers.h"

namespace {

constexpr int kPages = 50;

// A document of kPages pages of forty lines of text each, written once per process.
const std::string& benchPdf() {
    static cvl::test::TempHome home;
    static const std::string path = [] {
        std::vector<std::string> lines;
        for (int i = 0; i < 40; ++i)
            lines.push_back("Line " + std::to_string(i) +
                            ": the lessee shall keep the premises in good repair and condition.");
        // CVL_BENCH_PDF keeps a copy where the comparison script can draw it with mutool.
        const char* keep = std::getenv("CVL_BENCH_PDF");
        const std::string p = keep && *keep ? std::string(keep) : home / "bench.pdf";
        cvl::test::writePdf(cvl::test::makeTextPdf(kPages, "alpha", lines), p);
        return p;
    }();
    return path;
}

std::string pageURL(int index, int width) {
    return "vtpage://page?p=" + cvl::percentEncode(benchPdf()) + "&i=" + std::to_string(index) +
           "&w=" + std::to_string(width);
}

// Requests every URL at once on the shared pool and waits for all answers.
void serveAll(cvl::PageImageHandler& handler, const std::vector<std::string>& urls) {
    std::mutex m;
    std::condition_variable cv;
    size_t done = 0;
    size_t bytes = 0;
    for (size_t i = 0; i < urls.size(); ++i)
        handler.start(i + 1, urls[i], [&](cvl::SchemeResponse r) {
            std::lock_guard<std::mutex> lock(m);
            bytes += r.body.size();
            ++done;
            cv.notify_one();
        });
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return done == urls.size(); });
    benchmark::DoNotOptimize(bytes);
}

// Every page at 240 pixels wide, the document already parsed: what a page grid asks for.
void BM_ThumbnailGrid(benchmark::State& state) {
    cvl::PageDocumentCache cache(cvl::openPdfPageSource);
    auto handler = std::make_shared<cvl::PageImageHandler>(cache, cvl::Dispatch::global());
    std::vector<std::string> urls;
    for (int i = 0; i < kPages; ++i) urls.push_back(pageURL(i, 240));
    serveAll(*handler, {urls.front()});  // parse once
    for (auto _ : state) serveAll(*handler, urls);
    state.SetItemsProcessed(state.iterations() * kPages);
}
BENCHMARK(BM_ThumbnailGrid)->Unit(benchmark::kMillisecond)->UseRealTime();

// One page at 1600 pixels wide, the document already parsed.
void BM_ReaderPage(benchmark::State& state) {
    cvl::PageDocumentCache cache(cvl::openPdfPageSource);
    auto handler = std::make_shared<cvl::PageImageHandler>(cache, cvl::Dispatch::global());
    serveAll(*handler, {pageURL(0, 1600)});
    int page = 0;
    for (auto _ : state) serveAll(*handler, {pageURL(page++ % kPages, 1600)});
}
BENCHMARK(BM_ReaderPage)->Unit(benchmark::kMillisecond)->UseRealTime();

// The first image of a document nobody has asked for yet: parse plus one page at 1200.
void BM_FirstImageOfANewDocument(benchmark::State& state) {
    const std::string url = pageURL(0, 1200);
    for (auto _ : state) {
        cvl::PageDocumentCache cache(cvl::openPdfPageSource);
        auto handler = std::make_shared<cvl::PageImageHandler>(cache, cvl::Dispatch::global());
        serveAll(*handler, {url});
    }
}
BENCHMARK(BM_FirstImageOfANewDocument)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
