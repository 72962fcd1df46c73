// Converted copies: the PDFs the engine makes from Word, RTF, OpenDocument and text documents
// live in the conversion cache of the working folder, each with a record naming its source
// ("NAME-HASH.pdf.json": {"source", "size", "mtime_ns"}). Page commands on such a copy write
// beside the source, never into the cache.
#pragma once

#include <optional>
#include <string>

#include "platform/Result.h"

namespace cvl::ConvertedCopy {

// The working folder's ".converted" folder.
std::string cacheDir();
// True when `pdf` lies in the conversion cache.
bool isConvertedCopy(const std::string& pdf);

struct Source {
    std::string path;
    // The record matches the source as it is now (same size and modification time).
    bool current = false;
};
// The source named by the copy's record; none when there is no readable record.
std::optional<Source> sourceOf(const std::string& pdf);

// The document that the new files of a page command on `pdf` are named after and written
// beside: "" when `pdf` is itself the document, else the original. `original` is what the
// window knows (may be empty). Refuses a copy whose original is unknown, gone or changed.
Result<std::string> outputOriginal(const std::string& pdf, const std::string& original);

}  // namespace cvl::ConvertedCopy
