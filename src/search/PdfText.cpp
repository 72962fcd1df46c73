#include "search/PdfText.h"

namespace cvl {

// PDF text comes from the PDF layer; until it is connected no PDF can be opened here.
std::unique_ptr<PdfTextDocument> openPdfText(const std::string&) {
    return nullptr;
}

}  // namespace cvl
