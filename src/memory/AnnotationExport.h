// Exports a document's annotations and links as Markdown: page by page, the passages that
// markup covers and the notes, then the cross-document links.
#pragma once

#include <string>

#include "platform/Result.h"
#include "platform/pdf/PdfAnnotations.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl {

// Page calls and texts of the export flow.
inline constexpr const char* kAnnotationBytesQuery = "window.__cvlAnnotB64 || ''";
inline constexpr const char* kAnnotExportUnreadable = "Could not read the document";
inline constexpr const char* kAnnotExportNothing = "No annotations to export yet";

// Pop-ups, links and form fields are not the reader's own marks; highlights, underlines and
// strike-outs mark passages of the page text.
bool annotationIsSkipped(const std::string& kind);
bool annotationIsMarkup(const std::string& kind);
// The page text a markup annotation covers: the characters whose centres lie inside its
// quadrilaterals, else inside its bounds; line breaks become spaces.
std::string annotationMarkedText(const PdfPageText& text, const PdfAnnotation& annotation);

// The Markdown for the PDF bytes: a failure carrying the toast text when the bytes are not a
// readable PDF or hold no exportable annotation.
Result<std::string> runAnnotationExport(const std::string& pdfBytes, const std::string& title,
                                        const std::string& docPath);

// The flow behind the reader's export: decodes the page's Base64 document, builds the
// Markdown. The desktop host then proposes annotationExportFileName() in a save panel and
// writes the text with writeAnnotationExport().
Result<std::string> annotationExportFromPage(const std::string& pageBase64,
                                             const std::string& docPath);
std::string annotationExportFileName(const std::string& docPath);
Status writeAnnotationExport(const std::string& destination, const std::string& markdown);

}  // namespace cvl
