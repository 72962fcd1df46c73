// `cvl parse` and `cvl accept`: the page command grammar from the command line.
#pragma once

#include <string>
#include <vector>

namespace cvl {

// What a command-line run prints and its exit status.
struct CvlRun {
    int status = 0;
    std::string out;  // standard output
    std::string err;  // standard error
};

inline constexpr const char* kCvlParseUsage =
    "parse [--pages N] [--current C] [--selection L] TEXT";
inline constexpr const char* kCvlAcceptUsage =
    "accept [--pages N] [--current C] [--selection L] TYPED PHRASE";

// cvl parse [--pages N] [--current C] [--selection 2,5] TEXT
CvlRun runCvlParse(const std::vector<std::string>& args);
// cvl accept [--pages N] [--current C] [--selection L] TYPED PHRASE
CvlRun runCvlAccept(const std::vector<std::string>& args);

// The same, printing to standard output and standard error.
int cvlParseMain(const std::vector<std::string>& args);
int cvlAcceptMain(const std::vector<std::string>& args);

}  // namespace cvl
