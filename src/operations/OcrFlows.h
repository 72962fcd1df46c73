// The work behind the OCR operations, without a window: the reader's text layer with its
// cooperative cancel, the scan report, the check of a text layer against the page image and
// the recognition of page areas. The bridge module and `cvl ocr` post what these return.
#pragma once

#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace cvl::OcrFlows {

// The process-wide text-layer run counter: every text-layer request and every cancel
// increases it, and a running build stops once it no longer holds the value it started with.
long long bumpSearchableRun();
long long searchableRun();

struct LayerProgress {
    int done = 0;   // pages finished
    int total = 0;  // pages that need a layer
    int page = 0;   // 1-based page about to be recognised
};

// The text-layer answer {pages: [{page, items}], cancelled} for the document: the pages
// among the first 1000 whose text has fewer than 8 characters that are not white space,
// recognised in order; `keepGoing` is asked before each page and a false answer ends the
// build with cancelled true and the pages done so far. A missing file answers
// {"pages": [], "reason": "missing"}; an unopenable or locked one {pages: [], cancelled: false}.
nlohmann::json textLayerAnswer(const std::string& path, const std::function<bool()>& keepGoing,
                               const std::function<void(const LayerProgress&)>& progress = {});

// Whether the document is a scan: {path, pages, textLayer, ocrText, noTextPages, scanned}.
// For a document without a text layer, `noTextPages` lists the pages (of the first 1000)
// that only recognition can make searchable; `scanned` is true when the document has no
// text layer but pages with ink.
nlohmann::json scanInfo(const std::string& path);

// Each listed page's text layer compared with the text recognised from its image:
// {path, pages: [{page, layerChars, imageChars, agreement, verdict}], mismatched}. The
// verdict is "ok", "mismatch" (the two texts differ), "image-only" (the image shows text the
// layer lacks) or "hidden" (the layer holds text that the image does not show), or "blank".
// At most 20 pages are checked; an unreadable document gives {path, error}.
nlohmann::json verifyText(const std::string& path, const std::vector<int>& pages);

// One area of a page, in PDF points of its media box (origin bottom-left); a zero size means
// the whole page.
struct Area {
    int page = 0;  // 1-based
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};
// The areas read from a JSON array of page numbers or {page, x, y, width, height} objects.
std::vector<Area> parseAreas(const nlohmann::json& list);
// {pages: [{page, text, items}]} for the areas, recognised at twice the usual resolution so
// that short lines such as a name under a signature line read well.
nlohmann::json areaText(const std::string& path, const std::vector<Area>& areas);

// Normalised edit similarity of two texts: 1 − distance / longer length over their
// characters with white space removed and letters lower-cased (1 for two empty texts).
double textAgreement(const std::string& a, const std::string& b);
// Levenshtein distance between two sequences of code points.
std::size_t editDistance(const std::u32string& a, const std::u32string& b);

}  // namespace cvl::OcrFlows
