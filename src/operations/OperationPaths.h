// Small facts about the documents the operations read and write.
#pragma once

#include <string>

namespace cvl {

// The path names a PDF (its extension, in any case).
bool isPdfPath(const std::string& path);
// The file name without its last extension ("Lease" for ".../Lease.pdf").
std::string fileStem(const std::string& path);
// The local time now, ISO 8601 with its offset ("2025-03-01T14:05:09+01:00").
std::string isoTimestampNow();

}  // namespace cvl
