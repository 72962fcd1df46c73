#include "platform/pdf/PdfPrinting.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

namespace cvl {

std::vector<int> printOrder(int pageCount, const PrintSelection& selection) {
    std::vector<int> chosen;
    if (selection.which == PrintSelection::Pages::current) {
        if (selection.current >= 0 && selection.current < pageCount)
            chosen.push_back(selection.current);
    } else if (selection.which == PrintSelection::Pages::ranges) {
        std::set<int> seen;
        for (auto [from, to] : selection.ranges) {
            if (to < from) std::swap(from, to);
            for (int p = std::max(from, 0); p <= to && p < pageCount; ++p)
                if (seen.insert(p).second) chosen.push_back(p);
        }
    } else {
        for (int p = 0; p < pageCount; ++p) chosen.push_back(p);
    }
    std::vector<int> out;
    for (size_t i = 0; i < chosen.size(); ++i) {
        const bool odd = i % 2 == 0;  // the first chosen page is the first sheet
        if (selection.set == PrintSelection::PageSet::odd && !odd) continue;
        if (selection.set == PrintSelection::PageSet::even && odd) continue;
        out.push_back(chosen[i]);
    }
    if (selection.reverse) std::reverse(out.begin(), out.end());
    return out;
}

std::optional<std::vector<std::pair<int, int>>> parsePageRanges(const std::string& text,
                                                                int pageCount) {
    std::vector<std::pair<int, int>> out;
    size_t i = 0;
    auto skipSpace = [&] {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    };
    auto number = [&]() -> std::optional<int> {
        skipSpace();
        size_t start = i;
        long v = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && v < 1000000)
            v = v * 10 + (text[i++] - '0');
        if (i == start) return std::nullopt;
        return static_cast<int>(v);
    };
    while (true) {
        auto from = number();
        if (!from) return std::nullopt;
        int to = *from;
        skipSpace();
        if (i < text.size() && text[i] == '-') {
            ++i;
            auto end = number();
            if (!end) return std::nullopt;
            to = *end;
        }
        if (*from < 1 || to < *from || to > pageCount) return std::nullopt;
        out.emplace_back(*from - 1, to - 1);
        skipSpace();
        if (i == text.size()) break;
        if (text[i] != ',' && text[i] != ';') return std::nullopt;
        ++i;
    }
    return out;
}

Result<std::string> printedPdf(const PdfDocument& doc, const std::vector<int>& order) {
    if (order.empty()) return Failure{"No pages were chosen to print."};
    for (int p : order)
        if (!doc.validPage(p)) return Failure{"Page " + std::to_string(p + 1) + " does not exist."};
    auto copy = doc.workingCopy();
    if (!copy) return Failure{"The document could not be copied for printing."};
    if (!copy->arrangePages(order)) return Failure{"The chosen pages could not be gathered."};
    copy->pruneNavigation();
    auto bytes = copy->save();
    if (!bytes) return Failure{"The printed document could not be written."};
    return std::move(*bytes);
}

PrintPlacement placeOnPaper(double w, double h, double areaW, double areaH) {
    PrintPlacement p;
    if (w <= 0 || h <= 0 || areaW <= 0 || areaH <= 0) return p;
    p.scale = std::min({1.0, areaW / w, areaH / h});
    p.x = (areaW - w * p.scale) / 2;
    p.y = (areaH - h * p.scale) / 2;
    return p;
}

std::optional<PdfBitmap> renderForPrinter(const PdfDocument& doc, int page, double dpi,
                                          double placementScale) {
    auto box = doc.cropBox(page);
    if (!box || box->isEmpty()) return std::nullopt;
    if (!(dpi > 0)) dpi = kDefaultPrintDpi;
    dpi = std::min(dpi, kMaxPrintDpi);
    if (!(placementScale > 0)) placementScale = 1;
    double scale = dpi / 72.0 * placementScale;
    const double pixels = box->width() * box->height() * scale * scale;
    const double limit = kMaxRenderPixels * 0.9;
    if (pixels > limit) scale *= std::sqrt(limit / pixels);
    auto bitmap = renderPageImage(doc, page, scale, PdfBox::crop);
    if (bitmap) bitmap->dpi = static_cast<int>(std::lround(scale * 72.0 / placementScale));
    return bitmap;
}

}  // namespace cvl
