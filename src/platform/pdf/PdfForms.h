// Interactive form fields: reading the widgets, filling values with fresh appearance streams
// (so values show in every viewer without NeedAppearances), and flattening the fields into the
// page content. Coordinates as in PdfDocument: page points, unrotated user space, origin
// bottom-left.
#pragma once

#include <string>
#include <vector>

#include "platform/Result.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl {

enum class PdfFieldType { text, choice, signature, checkBox, radio, pushButton, unknown };

// One widget annotation of a field, as it stands in the file.
struct PdfWidget {
    std::string name;  // the field's full name ("parent.child"); empty when it has none
    PdfFieldType type = PdfFieldType::unknown;
    int page = 0;  // 0-based
    PdfRect rect;
    // Text and choice fields: the field's value (the first one of a multiple selection).
    std::string value;
    // Check boxes and radio buttons: the name of this widget's on state, and whether it is on.
    std::string onState;
    bool on = false;
    // Signature fields: a signature value is present.
    bool isSigned = false;
    bool readOnly = false;
    // Choice fields: the texts shown for the options.
    std::vector<std::string> options;
};

// Every widget of every page, page by page in annotation order. Empty for a locked document or
// one without widgets.
std::vector<PdfWidget> pdfWidgets(const PdfDocument& doc);

// True when the form asks viewers to draw its fields themselves (/NeedAppearances true).
bool pdfFormNeedsAppearances(const PdfDocument& doc);

struct PdfFieldValue {
    std::string name;
    std::string value;
};

// Sets field values and draws each changed widget's appearance anew, with an embedded font
// that holds the value's characters. Text fields take any text. Choice fields take one of their
// options (an editable combo box takes any text). Check boxes take the name of an on state, or
// "Off" / the empty text to clear; the words yes, true, on, checked, x and 1 stand for the box's
// own on state, and no, false, off and 0 for Off. Radio groups take the on-state name of one of
// their buttons, or Off. Everything is checked first: on a failure (an unknown field, a value the
// field cannot take, a read-only or push-button or signature field) nothing is changed.
// Afterwards /NeedAppearances is removed. Returns the number of fields set.
Result<int> pdfFillForm(PdfDocument& doc, const std::vector<PdfFieldValue>& values);

// Draws fresh appearances for every text and choice widget, and for buttons without one. Used
// before flattening a document whose form asks viewers to draw the fields. Returns the number of
// widgets drawn, -1 on failure.
int pdfRefreshFormAppearances(PdfDocument& doc);

// Draws the appearances that are missing: text and choice widgets that hold a value but have no
// appearance (as some viewers leave them when their font lacks a character), and buttons without
// one. Returns the number drawn, -1 on failure.
int pdfDrawMissingAppearances(PdfDocument& doc);

// Draws every visible widget's current appearance into its page's content and removes the form:
// the widget annotations and the document's /AcroForm. Other annotations stay. Appearances are
// refreshed first when the form asks viewers to draw them, or when a widget has none. Returns
// the number of widgets drawn into pages.
Result<int> pdfFlattenForm(PdfDocument& doc);

}  // namespace cvl
