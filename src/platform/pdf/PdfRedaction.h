// The flattened copy: every page drawn into a picture with the boxes filled black, written as a
// new PDF holding only those pictures. Nothing of the source survives but what the pictures
// show: no text, fonts, metadata (no /Info, no XMP), annotations, outline, form or attachments.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Result.h"
#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfPageDrawing.h"
#include "platform/pdf/PdfRender.h"

namespace cvl {

// A box to black out: a 0-based page and a rectangle in that page's user space.
struct PdfRedactionBox {
    int page = 0;
    PdfRect rect;
};

struct PdfFlattenOptions {
    double dpi = 150;
    // Called before each page with the pages done and the total; false stops the work.
    std::function<bool(int done, int total)> progress;
    // Called with each finished page picture (boxes already black); the lines it returns are
    // laid over the page as invisible text. Their boxes are in the new page's points: the page is
    // the picture at `dpi`, origin bottom-left.
    std::function<std::vector<PdfTextLayerLine>(const PdfBitmap& picture)> textLayer;
};

struct PdfFlattened {
    std::string bytes;
    int pages = 0;
    int boxes = 0;      // boxes drawn (boxes on pages that do not exist are not counted)
    int textLines = 0;  // invisible lines added
};

// Pages are drawn as shown (crop box, rotation, annotations and form fields included).
// Pictures of text are stored losslessly (grey when the page has no colour); photo-like pages
// as JPEG, with the boxes also painted as black rectangles over the picture so they stay pure
// black. Fails for a locked document, a page that cannot be drawn, or when stopped.
Result<PdfFlattened> pdfFlattenToPictures(const PdfDocument& source,
                                          const std::vector<PdfRedactionBox>& boxes,
                                          const PdfFlattenOptions& options);

}  // namespace cvl
