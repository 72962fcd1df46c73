// Stamped copies: every page of a PDF, or one image, redrawn onto a new page of its visual size
// with one line of text drawn over it in Helvetica-Bold.
//
// A PDF page goes into the copy whole, as a form object placed with the page's rotation turned
// into the drawing, so text stays text and vector drawing stays vector drawing; the printable
// appearances of its annotations (filled form fields, stamps, highlights) are drawn with it. The
// copy keeps no outline, links or fillable fields. The text is drawn last, so it shows over
// full-page scans; its optional halo is drawn as glyph outlines, so the page's text holds the
// text exactly once.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace cvl {

// Extent of a line of text, in points: its advance width, and the ascent and descent (both
// positive) of the font at that size.
struct PdfTextMetrics {
    double width = 0;
    double ascent = 0;
    double descent = 0;
};

// Helvetica-Bold's metrics for `text` (UTF-8) at `fontSize` points: the sum of the glyphs'
// advances, and the heights of the face's ascender and descender.
PdfTextMetrics helveticaBoldMetrics(std::string_view text, double fontSize);

// Whether every character of `text` (UTF-8) is one the stamp font draws as itself (printable
// Windows-1252).
bool helveticaBoldCovers(std::string_view text);

struct PdfStampText {
    // UTF-8. The font covers Windows-1252; other characters are drawn as "?".
    std::string text;
    double x = 0;  // baseline start, in points from the page's bottom-left corner
    double y = 0;
    double fontSize = 10;
    double red = 0, green = 0, blue = 0;  // opaque fill colour
    // With a positive offset, the text is first drawn in white at `haloAlpha` opacity at the
    // eight positions that offset around it.
    double haloOffset = 0;
    double haloAlpha = 0.9;
};

// The text to stamp on the `index`-th page written (from 0), given that page's width and height
// as seen (rotation applied).
using PdfStampPlacer = std::function<PdfStampText(int index, double width, double height)>;

struct PdfStampedCopy {
    std::string bytes;  // the new PDF file
    int pages = 0;      // pages written
};

// A stamped copy of the PDF at `path`. Each page keeps its media box's size, turned by its
// rotation; pages of zero width or height are left out. Fails for a file that cannot be read or
// opened, one that needs a password, and one without pages to write.
Result<PdfStampedCopy> stampedPdfCopy(const std::string& path, const PdfStampPlacer& placer);

// A one-page stamped PDF of the image at `path` (JPEG, PNG, GIF, BMP, TIFF's first frame, and
// HEIC where heicDecodingAvailable()): the page is the image's pixel width and height in points,
// turned upright by its orientation tag. Fails for a file that cannot be read or decoded.
Result<PdfStampedCopy> stampedImageCopy(const std::string& path, const PdfStampPlacer& placer);

// Whether this build can decode HEIC images.
bool heicDecodingAvailable();

}  // namespace cvl
