// The toolkit-free half of printing: which pages a print job prints and in what order, the
// PDF that "Print to File" writes (the chosen pages themselves, so their text stays text),
// and the page images drawn for a printer at its resolution.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Result.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfRender.h"

namespace cvl {

struct PrintSelection {
    enum class Pages { all, current, ranges };
    enum class PageSet { all, even, odd };
    Pages which = Pages::all;
    std::vector<std::pair<int, int>> ranges;  // 0-based, inclusive, as the print dialog gives them
    PageSet set = PageSet::all;
    bool reverse = false;
    int current = 0;  // 0-based page shown when printing was asked for
};

// 0-based pages to print, in order: the chosen pages (ranges in the order given, pages beyond
// the document dropped, each page once), then every odd or even one of them (counted from the
// first chosen page), reversed when asked.
std::vector<int> printOrder(int pageCount, const PrintSelection& selection);

// "2-3, 5" (1-based, as a user types it) as 0-based inclusive ranges; none when unreadable or
// when a page lies outside 1...pageCount.
std::optional<std::vector<std::pair<int, int>>> parsePageRanges(const std::string& text,
                                                                int pageCount);

// A new PDF holding the listed pages of `doc` (0-based, in order) with their annotations,
// links kept where their target page is kept.
Result<std::string> printedPdf(const PdfDocument& doc, const std::vector<int>& order);

// The highest resolution pages are drawn at for a printer, and the fallback when the printer
// does not say.
inline constexpr double kMaxPrintDpi = 600;
inline constexpr double kDefaultPrintDpi = 300;

// How a page of w x h points (as shown, rotation applied) sits on a printable area of
// areaW x areaH points: scaled down to fit when larger (never up), centred.
struct PrintPlacement {
    double scale = 1;
    double x = 0;  // offset of the page's top-left corner in the area, points
    double y = 0;
};
PrintPlacement placeOnPaper(double w, double h, double areaW, double areaH);

// The page drawn for a printer: at `dpi` (capped at kMaxPrintDpi, lowered further when the
// image would exceed the render limit) times the placement's scale. The bitmap's dpi field
// says the resolution used.
std::optional<PdfBitmap> renderForPrinter(const PdfDocument& doc, int page, double dpi,
                                          double placementScale);

}  // namespace cvl
