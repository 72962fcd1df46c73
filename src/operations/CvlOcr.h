// `cvl ocr`: recognising scanned PDFs into the OCR cache from the command line.
#pragma once

#include <string>
#include <vector>

namespace cvl {

inline constexpr const char* kCvlOcrUsage = "ocr FILE... [--layer]";

// Recognises each PDF (first 1000 pages) into the OCR cache that search reads and prints
// {"documents": [{"path", "pages": [{"page", "text"}]}]}. With --layer (one FILE) prints the
// reader's text-layer answer {pages: [{page, items}], cancelled} instead and writes nothing.
// Progress goes to standard error. Exit 1 when a document cannot be read or recognition is
// unavailable, 2 for bad arguments.
int cvlOcrMain(const std::vector<std::string>& args);

}  // namespace cvl
