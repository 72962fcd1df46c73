// Drawing into the content of existing pages: pictures (signatures) and invisible text (a
// searchable layer over page images); and turning picture files into PNG for pages to place.
// Coordinates as in PdfDocument: page points, unrotated user space, origin bottom-left.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl {

// Draws a picture (PNG, JPEG, GIF, BMP, TIFF bytes; transparency kept) into the page's content,
// filling `rect`, upright as the page is shown (a page with /Rotate gets it turned to match).
// False when the page does not exist, the document is locked or the picture cannot be read.
bool pdfDrawImage(PdfDocument& doc, int page, std::string_view imageBytes, const PdfRect& rect);

// One line of text and the box it covers on the page.
struct PdfTextLayerLine {
    std::string text;
    PdfRect box;
};

// Adds the lines as invisible text (render mode 3) over an upright page, each stretched to its
// box, so that the page can be searched and its text selected and copied. Empty lines are
// skipped. False when the page does not exist or the document is locked.
bool pdfAddInvisibleText(PdfDocument& doc, int page, const std::vector<PdfTextLayerLine>& lines);

struct PngPicture {
    std::string png;
    int width = 0;
    int height = 0;
};

// A picture file's bytes as an RGBA PNG, scaled down to at most `maxWidth` pixels wide (never
// up). With `clearBackground` a picture without transparency gets its light paper made
// transparent, so a scanned signature does not cover the line it is placed on.
Result<PngPicture> pictureToPng(std::string_view bytes, int maxWidth, bool clearBackground);

}  // namespace cvl
