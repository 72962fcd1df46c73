// What a PDF says about itself: version, document information, encryption and permissions,
// tagging, forms, page sizes and fonts. Read-only; the information panel shows it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/pdf/PdfDocument.h"

namespace cvl {

// Pages of one size (after rotation), in points, with the pages that have it.
struct PdfPageSizeGroup {
    double width = 0;
    double height = 0;
    std::string paper;  // "A4", "Letter", ... when the size is a known one (either way round)
    int count = 0;
    std::string pages;  // "1-3, 7"
};

struct PdfFontFact {
    std::string name;  // the base font name without a subset tag
    std::string type;  // "Type1", "TrueType", "Type0 (CIDFontType2)", "Type3", ...
    bool embedded = false;
    bool subset = false;
};

struct PdfFacts {
    std::string version;  // "1.7"
    // Document information: "Title", "Author", "Subject", "Keywords", "Creator", "Producer",
    // "CreationDate" and "ModDate" (dates as ISO 8601 when readable, else as written).
    std::vector<std::pair<std::string, std::string>> info;
    bool encrypted = false;
    bool locked = false;     // a password is needed to read the pages
    std::string encryption;  // the method ("AES 256-bit", ...) when encrypted
    // Permissions the document grants (all true when it is not encrypted).
    bool mayPrint = true;
    bool mayCopy = true;
    bool mayEdit = true;
    bool mayAnnotate = true;
    bool tagged = false;     // the catalogue's MarkInfo says Marked
    bool structure = false;  // it has a structure tree
    std::string forms;       // "none", "AcroForm" or "XFA"
    int fieldCount = 0;      // terminal form fields
    int pageCount = 0;
    std::vector<PdfPageSizeGroup> pageSizes;
    std::vector<PdfFontFact> fonts;  // distinct fonts used by pages, forms and annotations
    bool fontsTruncated = false;     // the font scan stopped at its page limit
};

// Font scans stop after this many pages of a long document.
inline constexpr int kFactsFontPageLimit = 2000;

// The facts of an open document; a locked one gives what can be read without its password.
std::optional<PdfFacts> pdfFacts(const PdfDocument& doc);

// Whether the document's permissions allow printing (true when it is not encrypted).
bool pdfAllowsPrinting(const PdfDocument& doc);

// A PDF date ("D:20240131094500+01'00'") as ISO 8601 ("2024-01-31T09:45:00+01:00"); the text
// unchanged when it is not one.
std::string pdfDateToIso(const std::string& pdfDate);
// "1-3, 7, 9-10" for sorted 1-based page numbers.
std::string pageRangesText(const std::vector<int>& pages);
// The paper name of a size in points (either orientation, within 2 points), or "".
std::string paperName(double width, double height);

}  // namespace cvl
