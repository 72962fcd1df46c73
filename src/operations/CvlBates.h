// `cvl bates`: a Bates stamping run on a folder from the command line.
#pragma once

#include <string>
#include <vector>

namespace cvl {

inline constexpr const char* kCvlBatesUsage =
    "bates FOLDER [--prefix P] [--start N] [--pad N] [--position RAW] [--font-size PT] "
    "[--no-name-by-bates] [--out DIR]";

// Prints the run result; progress lines go to standard error. Exit 0 when something was
// stamped, 1 for a run-level error or a numbering collision, 2 for bad arguments.
int cvlBatesMain(const std::vector<std::string>& args);

}  // namespace cvl
