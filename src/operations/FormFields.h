// What a document's form holds: one record per field name, the form summary, the filled count,
// and the page-shape signature that recognises other copies of the same form.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/pdf/PdfDocument.h"
#include "platform/pdf/PdfForms.h"

namespace cvl {

struct FormFieldRecord {
    std::string name;
    std::string kind;  // "text", "choice", "sig", "radio", "button" or "check"
    int page = 1;      // 1-based page of the first widget of that name
    std::string value;
    std::vector<std::string> options;  // kind "choice" only
};

struct FormSummary {
    bool ok = false;  // false when the file cannot be opened as a PDF
    bool isForm = false;
    int count = 0;  // records of a fillable kind
    int total = 0;  // records of any kind
    std::map<std::string, int> byKind;
};

// "text", "choice", "sig", "radio", "button" or "check"; other widgets are "text".
std::string formKind(const PdfWidget& widget);
// Kinds a user fills in: text, choice, check and radio.
bool isFillableKind(const std::string& kind);

// One record per distinct field name, in document order. A later radio widget that is on sets
// its group's value.
std::vector<FormFieldRecord> formFields(const PdfDocument& doc);
// Records of a fillable kind whose value is not empty.
int filledCount(const PdfDocument& doc);
FormSummary formSummary(const std::string& path);
FormSummary summarise(const std::vector<FormFieldRecord>& records);

// JSON texts for pages and the command line.
std::string formSummaryJson(const FormSummary& summary);
std::string formFieldsJson(const std::vector<FormFieldRecord>& records);

// Per page: media-box width and height times two, truncated, as "WxH"; "?" for a page that
// cannot be read. None when the file cannot be opened or has no pages.
std::optional<std::vector<std::string>> pageShapeSignature(const std::string& path);
// The paths among `among`, in order and without `path` itself, whose signature equals that of
// `path`; empty when `path` has none.
std::vector<std::string> sameFormCopies(const std::string& path,
                                        const std::vector<std::string>& among);

}  // namespace cvl
