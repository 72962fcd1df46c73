// Reading (and, for the reader's saves and test fixtures, writing) page annotations: their
// kind, bounds, quadrilaterals and text contents. Coordinates as in PdfDocument: page points,
// unrotated user space, origin bottom-left.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/pdf/PdfDocument.h"

namespace cvl {

struct PdfAnnotation {
    std::string kind;  // the subtype: "Highlight", "Underline", "StrikeOut", "Text", "FreeText",
                       // "Popup", "Link", "Widget", "Ink", ...
    PdfRect rect;      // bounds
    // Markup quadrilaterals, four corners each in the order they are stored (the PDF order is
    // top-left, top-right, bottom-left, bottom-right, though writers differ).
    std::vector<std::array<PdfPoint, 4>> quads;
    std::string contents;  // the annotation's own text (a note or a comment), UTF-8
    std::string author;    // "T", when present
};

// The annotations of a 0-based page in file order; empty for a bad page or a locked document.
std::vector<PdfAnnotation> pdfAnnotations(const PdfDocument& doc, int page);

// Adds an annotation dictionary (kind, bounds, quadrilaterals, contents, author) without an
// appearance stream; false when the page does not exist or the document is locked.
bool pdfAddAnnotation(PdfDocument& doc, int page, const PdfAnnotation& annotation);

}  // namespace cvl
