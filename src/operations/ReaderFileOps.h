// The file changes the reader offers for the document it shows: renaming it in its folder and
// duplicating it beside itself, never replacing another file.
#pragma once

#include <string>

#include "platform/Result.h"

namespace cvl::ReaderFileOps {

// The folder joined with `name` when nothing is there; else "base 2.ext", "base 3.ext", ...
std::string uniqueDest(const std::string& folder, const std::string& name);

// The name a typed new name stands for: trimmed, and given the old name's extension when the
// typed one has none. A failure says why it cannot be a file name (empty, "/", "." or "..",
// control characters, too long).
Result<std::string> newFileName(const std::string& oldPath, const std::string& typed);

// Renames within the file's folder to the free name for `typed`; gives the new path. The same
// name again gives the path unchanged.
Result<std::string> renameInFolder(const std::string& path, const std::string& typed);

// Copies the file to "base copy.ext" (made free as above) beside it, keeping its permissions;
// gives the copy's path.
Result<std::string> duplicateBeside(const std::string& path);

}  // namespace cvl::ReaderFileOps
