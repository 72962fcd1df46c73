// Internal to src/platform/pdf: the widgets of a document as MuPDF objects, and the appearance
// writer for text and choice fields. Callers hold the document's lock; MuPDF errors throw MuError.
#pragma once

#include <string>
#include <vector>

#include "platform/pdf/PdfForms.h"
#include "platform/pdf/PdfInternal.h"
#include "platform/pdf/PdfTextRuns.h"

namespace cvl::pdf {

struct WidgetRef {
    pdf_obj* widget = nullptr;  // the annotation dictionary
    pdf_obj* field = nullptr;   // the field dictionary holding /T (the widget itself when merged)
    pdf_obj* pageObj = nullptr;
    int page = 0;
    std::string name;
    PdfFieldType type = PdfFieldType::unknown;
    int flags = 0;  // field flags (/Ff, inherited)
};

// The widgets of every page, page by page in annotation order.
std::vector<WidgetRef> collectWidgets(pdf_document* doc);

// The name of the widget's on state (check boxes and radio buttons): the first appearance state
// that is not Off; "Yes" when the widget has no appearance states.
std::string onStateOf(pdf_obj* widget);

// The field's value as text: a text string, a name, or the first of an array.
std::string fieldValue(pdf_obj* field);

// Writes a fresh normal appearance for a text or choice widget from its field's value. False
// when a character of the value needs a font too large to embed; the widget is then unchanged.
bool writeFieldAppearance(pdf_document* doc, FontShaper& shaper, const WidgetRef& ref);

}  // namespace cvl::pdf
