// The information panel's data for one document: the file (name, folder, kind, size, dates)
// and, for PDFs (or the PDF a converted document is shown as), what the PDF says about
// itself. Also the stand-alone information page written for windows that are not a reader.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "platform/Result.h"

namespace cvl::DocumentInfo {

// {"path", "name", "folder", "kind", "ext", "size", "created"?, "modified", "accessed",
//  "pdf"?: {"version", "info": {...}, "encrypted", "locked", "encryption"?, "permissions",
//           "tagged", "structure", "forms", "fields", "pages", "pageSizes", "fonts",
//           "fontsTruncated", "converted"?, "damaged"?}, "pdfError"?}
// Dates are local ISO 8601 with the offset. `shownPdf` is the PDF the reader shows when it
// differs from the document (a converted Word or text file); empty otherwise. A file that
// cannot be read at all is a failure with the reason.
Result<nlohmann::json> gather(const std::string& path, const std::string& shownPdf = "");

// The kind a person would call the file: "PDF document", "Word document", ...
std::string kindOf(const std::string& path);

// Seconds since the epoch as local ISO 8601 with the offset ("2024-05-01T09:30:00+02:00").
std::string localIsoTime(long long seconds);

// Writes the stand-alone information page for `info` into the working folder
// (".info-<UUID>.html") and gives its path.
Result<std::string> writePage(const nlohmann::json& info, bool dark);

}  // namespace cvl::DocumentInfo
