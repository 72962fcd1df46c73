#include "operations/VisualDiff.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/Base64.h"

namespace cvl::VisualDiff {
namespace {

using nlohmann::json;

// The image on a white canvas of width × height, at the top-left corner. Returns the image's
// own pixels unchanged when it already has that size.
std::vector<std::uint8_t> padded(const PdfBitmap& image, int width, int height) {
    if (image.width == width && image.height == height) return image.pixels;
    std::vector<std::uint8_t> out(std::size_t(width) * std::size_t(height) * 3, 255);
    const std::size_t row = std::size_t(image.width) * 3;
    for (int y = 0; y < image.height; ++y)
        std::copy_n(image.pixels.data() + std::size_t(y) * row, row,
                    out.data() + std::size_t(y) * std::size_t(width) * 3);
    return out;
}

struct TintTables {
    std::array<std::uint8_t, 256> red{};
    std::array<std::uint8_t, 256> other{};
    TintTables() {
        for (int v = 0; v < 256; ++v) {
            red[std::size_t(v)] = std::uint8_t(std::min(v * 0.6 + 86.8, 255.0));
            other[std::size_t(v)] = std::uint8_t(v * 0.55);
        }
    }
};

void tintCell(std::vector<std::uint8_t>& pixels, int width, int x0, int x1, int y0, int y1) {
    static const TintTables tint;
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* p =
            pixels.data() + (std::size_t(y) * std::size_t(width) + std::size_t(x0)) * 3;
        for (int x = x0; x < x1; ++x, p += 3) {
            p[0] = tint.red[p[0]];
            p[1] = tint.other[p[1]];
            p[2] = tint.other[p[2]];
        }
    }
}

bool usable(const PdfBitmap& image) {
    return image.width > 0 && image.height > 0 &&
           image.pixels.size() == std::size_t(image.width) * std::size_t(image.height) * 3;
}

}  // namespace

CellComparison compareImages(const PdfBitmap& a, const PdfBitmap& b, int cell, double threshold) {
    CellComparison out;
    if (!usable(a) || !usable(b) || cell <= 0) return out;
    const int width = std::max(a.width, b.width);
    const int height = std::max(a.height, b.height);
    const std::vector<std::uint8_t> first = padded(a, width, height);
    out.overlay.width = width;
    out.overlay.height = height;
    out.overlay.dpi = b.dpi;
    out.overlay.pixels = padded(b, width, height);
    std::vector<std::uint8_t>& second = out.overlay.pixels;

    const int columns = (width + cell - 1) / cell;
    const int rows = (height + cell - 1) / cell;
    std::vector<std::uint64_t> sums(std::size_t(columns), 0);
    for (int r = 0; r < rows; ++r) {
        const int y0 = r * cell;
        const int y1 = std::min(y0 + cell, height);
        std::fill(sums.begin(), sums.end(), 0);
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* p = first.data() + std::size_t(y) * std::size_t(width) * 3;
            const std::uint8_t* q = second.data() + std::size_t(y) * std::size_t(width) * 3;
            for (int c = 0; c < columns; ++c) {
                const int from = c * cell * 3;
                const int to = std::min((c + 1) * cell, width) * 3;
                std::uint32_t s = 0;
                for (int k = from; k < to; ++k) s += std::uint32_t(std::abs(int(p[k]) - int(q[k])));
                sums[std::size_t(c)] += s;
            }
        }
        for (int c = 0; c < columns; ++c) {
            const int x0 = c * cell;
            const int x1 = std::min(x0 + cell, width);
            const double samples = 3.0 * double(x1 - x0) * double(y1 - y0);
            if (double(sums[std::size_t(c)]) / samples > threshold) {
                ++out.changed;
                tintCell(second, width, x0, x1, y0, y1);
            }
        }
    }
    out.cells = long(columns) * long(rows);
    out.frac = double(out.changed) / double(out.cells < 2 ? 1 : out.cells);
    return out;
}

std::optional<PageResult> diffPage(const PdfDocument& a, const PdfDocument& b, int index,
                                   double scale, int cell, double threshold, bool images) {
    const int countA = a.pageCount();
    const int countB = b.pageCount();
    PageResult r;
    r.total = std::max(countA, countB);
    r.page = index + 1;
    if (index < 0 || index >= r.total) return std::nullopt;
    std::optional<PdfBitmap> imageA, imageB;
    if (index < countA) imageA = renderPageImage(a, index, scale, PdfBox::media);
    if (index < countB) imageB = renderPageImage(b, index, scale, PdfBox::media);
    if (imageA && images) r.a = encodePngFast(*imageA);
    if (imageB && images) r.b = encodePngFast(*imageB);

    if (index >= countA) {
        r.overlay = r.b;
        r.frac = 1;
        r.added = true;
        r.removed = false;
        return r;
    }
    if (index >= countB) {
        r.frac = 1;
        r.added = false;
        r.removed = true;
        return r;
    }
    if (!imageA || !imageB) {
        // A side that cannot be drawn cannot be compared: counted as changed.
        r.overlay = r.b;
        r.frac = 1;
        return r;
    }
    CellComparison cmp = compareImages(*imageA, *imageB, cell, threshold);
    imageA.reset();
    imageB.reset();
    r.frac = cmp.frac;
    if (images) r.overlay = encodePngFast(cmp.overlay);
    return r;
}

std::optional<PageResult> visualDiffPage(const std::string& a, const std::string& b, int index,
                                         double scale, int cell, double threshold) {
    auto docA = PdfDocument::openFile(a);
    if (!docA || docA->isLocked()) return std::nullopt;
    auto docB = PdfDocument::openFile(b);
    if (!docB || docB->isLocked()) return std::nullopt;
    return diffPage(*docA, *docB, index, scale, cell, threshold);
}

json resultJson(const PageResult& r, bool withImages) {
    json out{{"page", r.page}, {"total", r.total}, {"frac", r.frac}};
    if (withImages) {
        if (r.a) out["a"] = base64Encode(*r.a);
        if (r.b) out["b"] = base64Encode(*r.b);
        if (r.overlay) out["overlay"] = base64Encode(*r.overlay);
    }
    if (r.added) out["added"] = *r.added;
    if (r.removed) out["removed"] = *r.removed;
    return out;
}

}  // namespace cvl::VisualDiff
