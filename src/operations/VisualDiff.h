// Visual compare: two PDFs rendered page by page, compared in square cells of pixels, with
// the changed cells of the second page tinted. Works on pixels, so it sees layout, stamp,
// signature and image changes that a text comparison misses.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfRender.h"

namespace cvl::VisualDiff {

inline constexpr double kScale = 1.5;       // pixels per point
inline constexpr int kCell = 16;            // cell side in pixels
inline constexpr double kThreshold = 16.0;  // mean absolute difference a cell must exceed

// The comparison of one page. Images are PNG bytes.
struct PageResult {
    int page = 0;   // 1-based
    int total = 0;  // the larger page count
    std::optional<std::string> a;
    std::optional<std::string> b;
    std::optional<std::string> overlay;
    double frac = 0;  // changed cells / cells; 1 when only one side has the page
    // Present only when one side lacks the page.
    std::optional<bool> added;
    std::optional<bool> removed;
};

// What comparing two renderings found: the second padded to the larger size with its
// changed cells tinted, and the share of changed cells.
struct CellComparison {
    PdfBitmap overlay;
    long changed = 0;
    long cells = 0;
    double frac = 0;
};

// Pads both images with white (right and bottom) to the larger width and height, compares
// them in cell × cell squares (edge cells clipped) and tints every changed cell of the second.
// A cell changes when its mean |ΔR|+|ΔG|+|ΔB| per sample exceeds `threshold`.
CellComparison compareImages(const PdfBitmap& a, const PdfBitmap& b, int cell = kCell,
                             double threshold = kThreshold);

// Page `index` (0-based) of two open documents; none when the index is outside both. Without
// `images` no PNG is encoded (the result carries none).
std::optional<PageResult> diffPage(const PdfDocument& a, const PdfDocument& b, int index,
                                   double scale = kScale, int cell = kCell,
                                   double threshold = kThreshold, bool images = true);

// Opens both files and compares one page; none when either cannot be opened (or is locked)
// or the index is outside both documents.
std::optional<PageResult> visualDiffPage(const std::string& a, const std::string& b, int index,
                                         double scale = kScale, int cell = kCell,
                                         double threshold = kThreshold);

// The page's result object; the images as Base64 when `withImages`.
nlohmann::json resultJson(const PageResult& result, bool withImages);

}  // namespace cvl::VisualDiff
