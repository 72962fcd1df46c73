// Drawing pages into bitmaps, and encoding bitmaps as PNG or JPEG.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/pdf/PdfDocument.h"

namespace cvl {

// An 8-bit RGB bitmap, rows top to bottom, 3 bytes per pixel, no padding.
struct PdfBitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    int dpi = 72;  // recorded in encoded images
};

// Images larger than this many pixels are never made.
inline constexpr double kMaxRenderPixels = 80'000'000;

// Draws the page's box at `scale` into a white bitmap: width and height are the box's size times
// the scale, truncated; both must be positive and their product below kMaxRenderPixels, else
// there is no image. The box's corner lands at the bitmap's corner. A page with a rotation is
// drawn as it is shown, so its width and height swap for a quarter turn.
std::optional<PdfBitmap> renderPageImage(const PdfDocument& doc, int page, double scale,
                                         PdfBox box);

// An 8-bit grey bitmap, rows top to bottom, one byte per pixel, no padding.
struct PdfGreyBitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    int dpi = 72;
};

struct GreyRenderOptions {
    // Draw the page as if its rotation were 0, so that the bitmap's corners are the box's in
    // the page's own space (what text recognition needs to report positions in page points).
    bool ignoreRotation = false;
    // A side that truncates to nothing becomes one pixel instead of giving no image.
    bool atLeastOnePixel = false;
};

// renderPageImage in grey, with the same size rule and cap.
std::optional<PdfGreyBitmap> renderPageGrey(const PdfDocument& doc, int page, double scale,
                                            PdfBox box, const GreyRenderOptions& options = {});

std::optional<std::string> encodePng(const PdfBitmap& bitmap);
// A PNG made for speed rather than size (fast deflate, rows filtered against the row above):
// several times quicker than encodePng and about a fifth larger on page images. For images
// made on request and shown at once.
std::optional<std::string> encodePngFast(const PdfBitmap& bitmap);
// quality 1...100.
std::optional<std::string> encodeJpeg(const PdfBitmap& bitmap, int quality = 90);
// A one-channel JPEG from 8-bit grey samples, rows top to bottom.
std::optional<std::string> encodeGreyJpeg(const std::vector<std::uint8_t>& samples, int width,
                                          int height, int quality = 90);

}  // namespace cvl
