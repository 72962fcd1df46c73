// `cvl compare`: visual compare of two PDFs from the command line.
#pragma once

#include <string>
#include <vector>

namespace cvl {

inline constexpr const char* kCvlCompareUsage = "compare A.pdf B.pdf [--page N] [--images DIR]";

// Prints {"pages": [...]}, the result object of every page (or of page N) without the
// images; --images writes them into DIR as a-N.png, b-N.png and overlay-N.png. Exit 1 when a
// document cannot be opened, 2 for bad arguments.
int cvlCompareMain(const std::vector<std::string>& args);

}  // namespace cvl
