// libFuzzer target: a PDF from arbitrary bytes through what a document meets in the program:
// open, page text with boxes, labels, links and outline, a small rendering, a rewrite of the
// pages, and writing. Any crash, sanitizer report or hang is a fault.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfRender.h"

namespace {

// Pages looked at: the first two and the last.
std::vector<int> samplePages(int count) {
    std::vector<int> pages;
    for (int p : {0, 1, count - 1})
        if (p >= 0 && p < count && std::find(pages.begin(), pages.end(), p) == pages.end())
            pages.push_back(p);
    return pages;
}

void readPage(const cvl::PdfDocument& doc, int page) {
    if (auto text = doc.pageTextWithBoxes(page)) {
        auto rects = text->rectsForRange(0, text->text.size());
        (void)rects;
    }
    (void)doc.pageLabel(page);
    (void)doc.links(page);
    (void)doc.rotation(page);
    // At most 48 pixels on the longer side: enough to run every drawing operator.
    if (auto box = doc.cropBox(page)) {
        const double longer = std::max(box->width(), box->height());
        if (longer > 0) {
            const double scale = std::clamp(48.0 / longer, 1e-3, 1.0);
            (void)cvl::renderPageImage(doc, page, scale, cvl::PdfBox::crop);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto opened = cvl::PdfDocument::openBytes(std::string(cvl::fuzz::bytesOf(data, size)));
    if (!opened) return 0;
    cvl::PdfDocument doc = std::move(opened).value();
    if (doc.isLocked() && !doc.unlock("")) return 0;

    const int count = doc.pageCount();
    for (int page : samplePages(count)) readPage(doc, page);
    (void)doc.outline();
    (void)doc.save();

    // A page change as the page tools make one: drop the first page, repeat the last, tidy the
    // navigation, and write the result compactly.
    if (count >= 2 && count <= 64) {
        std::vector<int> order;
        for (int p = 1; p < count; ++p) order.push_back(p);
        order.push_back(count - 1);
        if (doc.arrangePages(order)) {
            doc.pruneNavigation();
            cvl::PdfSaveOptions compact;
            compact.deduplicate = true;
            (void)doc.save(compact);
        }
    }
    return 0;
}
