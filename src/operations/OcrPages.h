// Recognising the text of PDF pages: whole documents for the OCR text cache, single pages as
// the reader's invisible text layer, and the ink tests that tell scanned and blank pages.
// The PDF itself is never changed.
#pragma once

#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "platform/ocr/TextRecognizer.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfRender.h"

namespace cvl::Ocr {

inline constexpr int kMaxPages = 1000;            // pages recognised per document
inline constexpr double kRecognitionScale = 2.0;  // pixels per point for recognition
inline constexpr double kScanTestScale = 0.25;    // pixels per point for the ink test
inline constexpr int kLayerMinChars = 8;          // text layer needed below this many characters

// One page of recognised text: 1-based page number, lines joined with line feeds (empty when
// the page could not be rendered).
struct PageRecord {
    int page = 0;
    std::string text;
};

// One recognised line in PDF points of the page's media box, origin at the bottom left.
struct LayerItem {
    std::string str;
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// The lines of one page image, in reading order; empty when recognition fails.
std::vector<OcrLine> ocrImage(const PdfGreyBitmap& image);

// (pages done, pages to do) after each page.
using Progress = std::function<void(int done, int total)>;

// Records for pages 1 ... min(page count, 1000), in page order; empty when the PDF cannot be
// opened or is locked. Pages are recognised in parallel, one engine per worker thread.
std::vector<PageRecord> runOCRDoc(const std::string& path, const Progress& progress = {});

// The page's lines as text-layer items: the page is drawn unrotated from its media box at
// scale 2.0 and recognised. Empty when the box has no area or the page cannot be drawn.
std::vector<LayerItem> ocrPageItems(const PdfDocument& doc, int page);

// True as soon as more than (width × height) / 400 pixels have a luminance
// 0.2126 R + 0.7152 G + 0.0722 B below 200.
bool imageHasInk(const PdfBitmap& image);

// The share of pixels of grey value 204 or less, the page drawn at min(800 / longer side, 1.4)
// pixels per point; 1 when the page's box is not wider and higher than one point.
double pageInkFraction(const PdfDocument& doc, int page);

// 1-based numbers of the pages among the first min(page count, cap) that have no text, no OCR
// cache text and ink at scale 0.25. Empty for locked or unreadable documents.
std::vector<int> scanPagesNoText(const std::string& path, int cap);

// Characters of the text that are not white space.
int visibleCharCount(const std::string& text);

// Writes {path, pages} to the OCR cache entry of the document (atomically); false when the
// document has no cache key or the entry cannot be written.
bool ocrCacheWrite(const std::string& path, const std::vector<PageRecord>& pages);

// Writes the cache and makes the shared search index read the document again on its next run
// (an unchanged file is otherwise never re-read, and its OCR text would stay unsearchable).
bool storeRecognisedText(const std::string& path, const std::vector<PageRecord>& pages);

nlohmann::json pagesJson(const std::vector<PageRecord>& pages);
nlohmann::json itemsJson(const std::vector<LayerItem>& items);

}  // namespace cvl::Ocr
