// `cvl pages`: a page command against a PDF from the command line.
#pragma once

#include <string>
#include <vector>

namespace cvl {

inline constexpr const char* kCvlPagesUsage =
    "pages FILE TEXT [--current C] [--selection L] [--with OTHER.pdf]... [--original DOC] "
    "[--yes]";

// Prints the reply object the command bar would receive; with --yes a preview runs at once
// and the done reply is printed. With --original, FILE is the PDF converted from DOC (a Word,
// RTF or text document), and the new files are named after DOC and written beside it.
// Exit 0, 1 for an error reply, 2 for bad arguments.
int cvlPagesMain(const std::vector<std::string>& args);

}  // namespace cvl
