// The redacted copy: built by flattening every page into a picture with the boxes black, with an
// optional invisible text layer recognised from those pictures; and its audit record.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Result.h"
#include "platform/pdf/PdfDocument.h"

namespace cvl {

// A box over a 1-based page, in that page's user space (points, origin bottom-left).
struct RedactRegion {
    int page = 1;
    PdfRect rect;
};

// [{page, x0, y0, x1, y1}, ...]; fails on anything else.
Result<std::vector<RedactRegion>> parseRedactRegions(std::string_view json);
std::string redactRegionsJson(const std::vector<RedactRegion>& regions);

struct RedactOptions {
    double dpi = 150;
    bool searchable = false;  // add a text layer recognised from the flattened pictures
    // Pages done and the total, before each page; false stops the work.
    std::function<bool(int done, int total)> progress;
};

struct RedactedCopy {
    std::string bytes;
    std::string auditJson;  // the audit object the page keeps in __cvlRedactAudit
    int pages = 0;
    int regions = 0;
    int textLines = 0;
};

// Reads the source, never writes it. Fails for a box on a page that does not exist, for a
// locked or unreadable document, and for the searchable option when no recogniser is installed.
Result<RedactedCopy> buildRedactedCopy(const std::string& sourcePath,
                                       const std::vector<RedactRegion>& regions,
                                       const RedactOptions& options);

// "Lease.pdf" -> "Lease (redacted).pdf"; "Document (redacted).pdf" when there is no name.
std::string redactedFileName(const std::string& sourcePath);
// The audit record's path beside a saved copy: "Lease (redacted).redaction-audit.json".
std::string redactAuditPath(const std::string& outputPath);

// Writes the audit record beside the saved copy: the page's audit object (an empty object when
// it is missing or not an object) with `tool` added when absent and `totalRegions`, `output`,
// `redacted` (now, ISO 8601) and `appVersion` set; pretty-printed, keys sorted.
Status writeRedactAudit(const std::string& outputPath, const std::string& sourcePath, int regions,
                        const std::string& pageAuditJson);

}  // namespace cvl
