// Pieces of the stores target that live in their own files.
#pragma once

#include <string>
#include <string_view>

namespace cvl::fuzz {

// A small file standing for an open document.
const std::string& documentPath();
// Reads a version copy whose file name is `text` (made safe for a file name).
void versionName(std::string_view text);

}  // namespace cvl::fuzz
