// Signature fields that already carry a signature, so a signing page can show them as signed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/pdf/PdfDocument.h"

namespace cvl::SignedFields {

// The rectangles (page points, user space) of signed signature fields, by 1-based page.
std::map<int, std::vector<PdfRect>> rects(const PdfDocument& doc);

// [{page, x0, y0, x1, y1}, ...] for the page.
std::string toJson(const std::map<int, std::vector<PdfRect>>& rects);

}  // namespace cvl::SignedFields
