// The page operations as one-shot commands, for timing against qpdf, pdftoppm and mutool with
// the same inputs (see run_bench.sh). Also makes the inputs.
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pagecmd/PageTools.h"
#include "platform/FileIO.h"
#include "platform/pdf/PdfRender.h"
#include "support/PdfFixtures.h"

using namespace cvl;

namespace {

int fail(const char* what) {
    std::fprintf(stderr, "bench_pages: %s\n", what);
    return 1;
}

PdfDocument load(const std::string& path) {
    auto r = PdfDocument::openFile(path);
    if (!r) {
        std::fprintf(stderr, "bench_pages: %s\n", r.error().c_str());
        std::exit(1);
    }
    return r.value();
}

bool save(const PdfDocument& doc, const std::string& path) {
    return PageTools::publishNew(PageTools::NewItem::file(path, PageTools::Payload::pdf(doc))).ok();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.empty())
        return fail("usage: bench_pages make|split|merge|odd|rotate|render|compress ...");
    const std::string& cmd = a[0];
    if (cmd == "make" && a.size() == 2) {
        // Inputs: a 500-page document with outline and links, 50 ten-page documents, and an
        // image-heavy document of 300-dpi scans.
        std::string dir = a[1];
        makeDirs(dir);
        if (!test::writePdf(test::makeNavigablePdf(500), dir + "/big.pdf")) return fail("big");
        makeDirs(dir + "/many");
        for (int i = 1; i <= 50; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "/many/doc%02d.pdf", i);
            if (!test::writePdf(test::makeNavigablePdf(10, "doc" + std::to_string(i)), dir + name))
                return fail("many");
        }
        PdfDocument scans;
        for (int n = 1; n <= 6; ++n) {
            auto png = encodePng(test::photoBitmap(2550, 3300, unsigned(n)));  // Letter at 300 dpi
            if (!png || !scans.insertImagePage(n - 1, *png)) return fail("scan");
            scans.setPageBox(n - 1, PdfBox::media, test::kLetter);
        }
        if (!test::writePdf(scans, dir + "/scans.pdf")) return fail("scans");
        return 0;
    }
    if (cmd == "split" && a.size() == 3) {
        PdfDocument doc = load(a[1]);
        std::vector<int> after;
        for (int p = 1; p < doc.pageCount(); ++p) after.push_back(p);
        auto parts = PageTools::split(doc, after);
        if (parts.empty()) return fail("split");
        std::vector<PageTools::NamedPayload> named;
        for (size_t i = 0; i < parts.size(); ++i)
            named.push_back(
                {"p-" + std::to_string(i + 1) + ".pdf", PageTools::Payload::pdf(parts[i])});
        return PageTools::publishNew(PageTools::NewItem::folder(a[2], std::move(named))).ok()
                   ? 0
                   : fail("write");
    }
    if (cmd == "merge" && a.size() >= 3) {
        std::vector<PdfDocument> docs;
        for (size_t i = 2; i < a.size(); ++i) docs.push_back(load(a[i]));
        auto merged = PageTools::merge(docs);
        return merged && save(*merged, a[1]) ? 0 : fail("merge");
    }
    if (cmd == "odd" && a.size() == 3) {
        PdfDocument doc = load(a[1]);
        std::vector<int> order;
        for (int i = 0; i < doc.pageCount(); i += 2) order.push_back(i);
        auto out = PageTools::extract(doc, order);
        return out && save(*out, a[2]) ? 0 : fail("extract");
    }
    if (cmd == "rotate" && a.size() == 3) {
        PdfDocument doc = load(a[1]);
        std::set<int> all;
        for (int i = 0; i < doc.pageCount(); ++i) all.insert(i);
        auto out = PageTools::rotate(doc, all, 90);
        return out && save(*out, a[2]) ? 0 : fail("rotate");
    }
    if (cmd == "render" && a.size() == 5) {
        // render FILE OUTDIR PAGES THREADS: pages 1..PAGES at 150 dpi as PNG files.
        std::string bytes = readFile(a[1]).value_or("");
        int pages = std::stoi(a[3]);
        int threads = std::max(1, std::stoi(a[4]));
        makeDirs(a[2]);
        std::vector<std::thread> pool;
        std::vector<int> failed(size_t(threads), 0);
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([&, t] {
                auto doc = PdfDocument::openBytes(bytes);
                if (!doc) {
                    failed[size_t(t)] = 1;
                    return;
                }
                for (int i = t; i < pages; i += threads) {
                    auto bmp = renderPageImage(*doc, i, 150.0 / 72.0, PdfBox::crop);
                    auto png = bmp ? encodePng(*bmp) : std::nullopt;
                    if (!png ||
                        !writeFileAtomic(a[2] + "/p" + std::to_string(i + 1) + ".png", *png).ok())
                        failed[size_t(t)] = 1;
                }
            });
        for (auto& th : pool) th.join();
        for (int f : failed)
            if (f) return fail("render");
        return 0;
    }
    if (cmd == "compress" && a.size() == 3) {
        auto bytes = readFile(a[1]);
        if (!bytes) return fail("read");
        auto out = PageTools::compress(*bytes, 0.0);
        return out && PageTools::writeNew(out->bytes, a[2]) ? 0 : fail("compress");
    }
    return fail("unknown command or wrong arguments");
}
