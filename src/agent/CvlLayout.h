// cvl layout FILE: a PDF's outline and its text lines with their heights, for the engine's
// table of contents when a document has no outline.
#pragma once

#include <string>
#include <vector>

namespace cvl {

int cvlLayoutMain(const std::vector<std::string>& args);

}  // namespace cvl
