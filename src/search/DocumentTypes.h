// Which files the index reads, and the document type of each, by extension. Kept apart from
// the extraction code so that readers of the index do not link the document readers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cvl::TextExtraction {

// Document type of a lower-cased extension; none for extensions that are never indexed.
std::optional<std::string> typeForExt(std::string_view lowerExt);
bool isIndexableExt(std::string_view lowerExt);
// Document type of a path by its lower-cased extension, "text" when it has no entry.
std::string typeForPath(const std::string& path);

}  // namespace cvl::TextExtraction
