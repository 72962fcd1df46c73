// `cvl info`: the information panel's data for one document, from the command line.
#pragma once

#include <string>
#include <vector>

namespace cvl {

inline constexpr const char* kCvlInfoUsage = "info FILE";

// Prints the information object; exit 0, 1 when the file cannot be read (with "error"), 2 for
// bad arguments.
int cvlInfoMain(const std::vector<std::string>& args);

}  // namespace cvl
