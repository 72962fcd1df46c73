// Turns one file into the chunks the index stores: PDF pages, Word and RTF paragraphs,
// text lines, spreadsheet cells and cloud-document pointers.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search/CVSearchIndex.h"
#include "search/DocumentTypes.h"

namespace cvl::TextExtraction {

using Chunk = SearchChunk;

// Paragraph mode joins the non-blank lines between blank lines into one chunk each; line
// mode makes one chunk per non-blank line, numbered by its real line.
std::vector<Chunk> paragraphChunks(std::string_view text, const std::string& atype,
                                   const std::string& labelPrefix, bool lineBased);

// Plain text: UTF-8, else Latin-1; one chunk per non-blank line.
std::vector<Chunk> plainTextChunks(const std::string& path);
// .docx read in-process, .doc through antiword; one chunk per paragraph.
std::vector<Chunk> wordChunks(const std::string& path);
std::vector<Chunk> rtfChunks(const std::string& path);
std::vector<Chunk> spreadsheetChunks(const std::string& path);
std::vector<Chunk> pointerChunks(const std::string& path);
// PDF pages from the text layer, or from `ocrLookup` when the document has none.
std::vector<Chunk> pdfChunks(const std::string& path, const CVSearchIndex::OcrLookup& ocrLookup);

// The chunks of any file the index reads, by its document type (typeForPath).
std::vector<Chunk> chunksFor(const std::string& path, const std::string& type,
                             const CVSearchIndex::OcrLookup& ocrLookup);

// The web address for a cloud document known only by its id.
std::string cloudDocumentAddress(const std::string& docId);

}  // namespace cvl::TextExtraction
