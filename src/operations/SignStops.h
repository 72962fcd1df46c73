// Signing stops: the places in a document that wait for a signature. Empty signature fields,
// and lines of text that ask for one ("Signature: ____", "Sign here", "By: ______").
#pragma once

#include <string>
#include <vector>

#include "platform/pdf/PdfDocument.h"

namespace cvl {

struct SignStop {
    int page = 1;       // 1-based
    PdfRect rect;       // where the signature goes, in the page's user space
    std::string kind;   // "field" or "line"
    std::string label;  // the field's name, or the line's text
};

// The stops of the listed 1-based pages (all pages when the list is empty), page by page from
// the top. Signed signature fields are not stops.
std::vector<SignStop> findSignStops(const PdfDocument& doc, const std::vector<int>& pages);

std::string signStopsJson(const std::vector<SignStop>& stops);

}  // namespace cvl
