#include "search/PdfScan.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/FileIO.h"
#include "platform/pdf/PdfPrivateContext.h"
#include "search/OcrCache.h"
#include "search/OrderedWork.h"
#include "search/PdfText.h"
#include "search/SearchMatching.h"
#include "search/SearchScope.h"
#include "search/TextExtraction.h"
#include "search/UnicodeText.h"

namespace cvl::PdfScan {
namespace {

using nlohmann::json;

// What scanning one PDF found.
struct Outcome {
    enum Kind { skipped, noText, searched } kind = skipped;
    bool ocr = false;
    std::int64_t count = 0;
    json doc;  // the document object when count > 0
};

// Documents scanned ahead of the one consumed at most.
constexpr std::size_t kScanAhead = 64;

json rectsJson(const std::vector<PdfTextRect>& rects) {
    json out = json::array();
    for (const auto& r : rects) {
        if (!(r.w > 0.5) || !(r.h > 0.5)) continue;  // also drops NaN and empty rectangles
        out.push_back({{"x", r.x}, {"y", r.y}, {"w", r.w}, {"h", r.h}});
    }
    return out;
}

Outcome scanDocument(const std::string& path, const std::u32string& folded) {
    Outcome out;
    auto doc = openPdfText(path);
    if (!doc) return out;
    const int pages = doc->pageCount();

    // Text-layer probe; the pages read for it are kept for the scan.
    std::vector<std::string> probed;
    bool textLayer = false;
    for (int i = 0; i < pages && !textLayer; ++i) {
        probed.push_back(doc->pageText(i));
        textLayer = UnicodeText::graphemeCount(UnicodeText::trimWhitespace(probed.back())) >= 8;
    }
    std::optional<std::map<std::int64_t, std::string>> ocr;
    if (!textLayer) {
        ocr = OcrCache::ocrCacheRead(path);
        if (!ocr) {
            out.kind = Outcome::noText;
            return out;
        }
    }
    out.kind = Outcome::searched;
    out.ocr = !textLayer;

    json hits = json::array();
    std::int64_t& count = out.count;
    for (int i = 0; i < pages; ++i) {
        std::string text;
        if (textLayer) {
            text = i < static_cast<int>(probed.size()) ? std::move(probed[i]) : doc->pageText(i);
        } else if (auto it = ocr->find(i + 1); it != ocr->end()) {
            text = it->second;
        }
        if (text.empty()) continue;
        std::string label;
        std::size_t from = 0;
        while (count < kMaxCountPerDoc) {
            auto r = UnicodeText::caselessFind(text, folded, from);
            if (!r) break;
            from = r->end;
            ++count;
            if (hits.size() >= static_cast<std::size_t>(kHitsPerDoc)) continue;
            if (label.empty()) {
                label = doc->pageLabel(i);
                if (label.empty()) label = std::to_string(i + 1);
            }
            const SearchMatching::Snippet snip = SearchMatching::snippetAround(text, *r);
            json hit = {{"page", i + 1},
                        {"label", label},
                        {"snippet", snip.text},
                        {"at", snip.matchAt},
                        {"match", text.substr(r->begin, r->end - r->begin)},
                        {"ocr", !textLayer}};
            if (textLayer) {
                json rects = rectsJson(doc->rangeRects(i, r->begin, r->end));
                if (!rects.empty()) hit["rects"] = std::move(rects);
            }
            hits.push_back(std::move(hit));
        }
        if (hits.size() >= static_cast<std::size_t>(kHitsPerDoc) && count > kEarlyStopCount) break;
    }
    if (count > 0)
        out.doc = {{"path", path},         {"name", lastPathComponent(path)}, {"count", count},
                   {"shown", hits.size()}, {"hits", std::move(hits)},         {"ocr", out.ocr}};
    return out;
}

}  // namespace

json runPDFSearch(const std::string& q, const std::vector<std::string>& dirs,
                  const std::vector<std::string>& explicitFiles) {
    json result = json::object();
    result["q"] = q;
    result["scope"] = dirs.empty() ? std::string() : lastPathComponent(dirs[0]);
    result["scopeCount"] = dirs.size();
    result["scannedNoText"] = json::array();
    result["ocrUsed"] = 0;
    result["docs"] = json::array();
    result["docCount"] = 0;
    result["hitCount"] = 0;
    result["scanned"] = 0;
    result["truncated"] = false;
    if (UnicodeText::graphemeCount(q) < 2) {
        result["note"] = q.empty() ? "empty" : "short";
        return result;
    }

    auto isPdf = [](const std::string& p) { return lowerExtension(p) == "pdf"; };
    std::vector<std::string> pdfs = SearchScope::collect(
        dirs, explicitFiles, kMaxPdfs, [](const std::string&) { return true; }, isPdf);

    // Documents are scanned ahead on the global pool, and on this thread while its next
    // document is being scanned elsewhere, and consumed in collection order, so the result is
    // that of a scan one by one. Each document is read in a MuPDF context private to its thread:
    // through contexts that share one store, two threads take the same lock for every character
    // and were measured slower than one.
    const std::u32string folded = UnicodeText::foldForSearch(q);
    OrderedWork<Outcome> scan(
        pdfs.size(),
        [&](std::size_t i) {
            PdfPrivateContext privateContext;
            return scanDocument(pdfs[i], folded);
        },
        kScanAhead, true);

    std::vector<json> docs;
    json noText = json::array();
    int ocrUsed = 0;
    std::int64_t hitCount = 0;
    for (std::size_t i = 0; i < pdfs.size(); ++i) {
        if (static_cast<int>(docs.size()) >= kMaxDocsWithHits) break;
        Outcome o = scan.take(i);
        if (o.kind == Outcome::noText) {
            if (noText.size() < static_cast<std::size_t>(kMaxNoText))
                noText.push_back({{"path", pdfs[i]}, {"name", lastPathComponent(pdfs[i])}});
            continue;
        }
        if (o.kind != Outcome::searched) continue;
        if (o.ocr) ++ocrUsed;
        if (o.count > 0) {
            docs.push_back(std::move(o.doc));
            hitCount += o.count;
        }
    }

    std::stable_sort(docs.begin(), docs.end(), [](const json& a, const json& b) {
        return a["count"].get<std::int64_t>() > b["count"].get<std::int64_t>();
    });
    result["docs"] = docs;
    result["docCount"] = docs.size();
    result["hitCount"] = hitCount;
    result["scanned"] = pdfs.size();
    result["truncated"] = pdfs.size() >= static_cast<std::size_t>(kMaxPdfs) ||
                          static_cast<int>(docs.size()) >= kMaxDocsWithHits;
    result["scannedNoText"] = std::move(noText);
    result["ocrUsed"] = ocrUsed;
    return result;
}

}  // namespace cvl::PdfScan
