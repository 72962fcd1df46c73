#include "search/PdfScan.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/Dispatch.h"
#include "platform/FileIO.h"
#include "search/OcrCache.h"
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
            json hit = {{"page", i + 1},
                        {"label", label},
                        {"snippet", SearchMatching::snippet(text, *r)},
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

// Documents are scanned by the calling thread and by helpers on the global pool, each taking
// the next unclaimed document; outcomes are consumed strictly in collection order, so the
// result is the same as a scan one by one, and helpers stop claiming once the caller is done.
class OrderedScan {
  public:
    OrderedScan(std::vector<std::string> paths, std::u32string folded)
        : paths_(std::move(paths)),
          folded_(std::move(folded)),
          outcomes_(paths_.size()),
          ready_(paths_.size(), 0) {}

    // Claims and scans documents until none are left or the scan is stopped.
    void work() {
        for (;;) {
            if (stopped_.load()) return;
            std::size_t i = next_.fetch_add(1);
            if (i >= paths_.size()) return;
            Outcome o = scanDocument(paths_[i], folded_);
            std::lock_guard lock(mutex_);
            outcomes_[i] = std::move(o);
            ready_[i] = 1;
            cv_.notify_all();
        }
    }

    // The outcome of document i, scanning unclaimed documents meanwhile.
    Outcome take(std::size_t i) {
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (ready_[i]) return std::move(outcomes_[i]);
                if (next_.load() > i) {
                    // Claimed by a helper: wait for it (or for any progress).
                    cv_.wait(lock, [&] { return ready_[i] != 0; });
                    return std::move(outcomes_[i]);
                }
            }
            std::size_t j = next_.fetch_add(1);
            if (j >= paths_.size()) continue;
            Outcome o = scanDocument(paths_[j], folded_);
            std::lock_guard lock(mutex_);
            outcomes_[j] = std::move(o);
            ready_[j] = 1;
            cv_.notify_all();
        }
    }

    void stop() { stopped_.store(true); }

  private:
    std::vector<std::string> paths_;
    std::u32string folded_;
    std::vector<Outcome> outcomes_;
    std::vector<char> ready_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stopped_{false};
    std::mutex mutex_;
    std::condition_variable cv_;
};

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

    auto isPdf = [](const std::string& p) { return TextExtraction::lowerExtension(p) == "pdf"; };
    std::vector<std::string> pdfs = SearchScope::collect(
        dirs, explicitFiles, kMaxPdfs, [](const std::string&) { return true; }, isPdf);

    auto scan = std::make_shared<OrderedScan>(pdfs, UnicodeText::foldForSearch(q));
    if (pdfs.size() > 1) {
        const int helpers =
            std::clamp(static_cast<int>(std::thread::hardware_concurrency()) - 1, 0, 7);
        for (int h = 0; h < helpers; ++h) Dispatch::global().async([scan] { scan->work(); });
    }

    std::vector<json> docs;
    json noText = json::array();
    int ocrUsed = 0;
    std::int64_t hitCount = 0;
    for (std::size_t i = 0; i < pdfs.size(); ++i) {
        if (static_cast<int>(docs.size()) >= kMaxDocsWithHits) break;
        Outcome o = scan->take(i);
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
    scan->stop();

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
