// The text layer of a PDF as search reads it: page text, page labels and the rectangles of
// a text range, one per line, in PDF page points with the origin at the bottom left.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace cvl {

struct PdfTextRect {
    double x = 0;
    double y = 0;
    double w = 0;
    double h = 0;
};

class PdfTextDocument {
  public:
    virtual ~PdfTextDocument() = default;
    virtual int pageCount() const = 0;
    // UTF-8 text of a page (0-based); empty when the page has none.
    virtual std::string pageText(int index) = 0;
    // The page's label; empty when it has none.
    virtual std::string pageLabel(int index) = 0;
    // Bounds of the byte range [begin, end) of pageText(index), one rectangle per line.
    virtual std::vector<PdfTextRect> rangeRects(int index, std::size_t begin, std::size_t end) = 0;
};

// Opens a PDF for reading its text; null when it cannot be opened or is locked.
std::unique_ptr<PdfTextDocument> openPdfText(const std::string& path);

}  // namespace cvl
