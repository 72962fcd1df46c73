// The signed copy: the signatures drawn into the pages and the form fields flattened into the
// page content, built from the placements a signing page describes.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl {

// One signature on a page: a 1-based page, a rectangle in that page's user space (points,
// origin bottom-left) and the id of its picture in the plan.
struct SignPlacement {
    int page = 1;
    PdfRect rect;
    std::string image;
};

struct SignPlan {
    std::vector<SignPlacement> placements;
    std::map<std::string, std::string> images;  // id -> PNG (or JPEG) bytes
};

// The page's plan: {"placements": [{page, x0, y0, x1, y1, image}], "images": {id: Base64 or a
// data: address}}. Fails when it is not such an object, names a picture it does not hold, or
// has no placement.
Result<SignPlan> parseSignPlan(std::string_view json);
std::string signPlanJson(const SignPlan& plan);

struct SignedCopy {
    std::string bytes;
    int placements = 0;
    bool hadFields = false;      // the document had form fields
    bool flattenFailed = false;  // ...which could not be flattened and are still editable
};

// Flattens the form (when there is one), then draws each placement. The source is only read.
Result<SignedCopy> buildSignedCopy(const std::string& sourcePath, const SignPlan& plan);

// What the save reports: "Saved. The signature is part of the page now — your original is
// untouched." and its variants.
std::string signSaveReport(const SignedCopy& copy);

// A picture file as PNG Base64, scaled down to at most `maxWidth` pixels wide, its light paper
// made transparent.
Result<std::string> signPngBase64(const std::string& path, int maxWidth);

}  // namespace cvl
