// Internal to src/platform/pdf: navigation helpers shared by the reading and editing code.
#pragma once

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/pdf/PdfInternal.h"

namespace cvl::pdf {

// The document's page objects in order, and the index of each by object number.
struct PageIndex {
    explicit PageIndex(pdf_document* doc);
    int indexOf(pdf_obj* page) const;  // -1 when the object is not a page of the document
    std::vector<pdf_obj*> pages;
    std::unordered_map<int, int> byNum;
};

pdf_obj* resolveNamed(pdf_document* doc, pdf_obj* dest);
std::optional<PdfDestination> readDestination(pdf_document* doc, const PageIndex& index,
                                              pdf_obj* dest);
// Calls `visit` for every link annotation of the page, last to first (so the visitor may remove
// entry i from `annots`).
void forEachLink(pdf_document* doc, pdf_obj* pageObj,
                 const std::function<void(pdf_obj* annots, int i, pdf_obj* annot)>& visit);

}  // namespace cvl::pdf
