// Test helper: independent PDF tools (qpdf, poppler) to check what our code wrote.
#pragma once

#include <string>
#include <vector>

#include "platform/ProcessRunner.h"

namespace cvl::test {

inline ProcessResult runTool(const std::string& program, const std::vector<std::string>& args) {
    ProcessSpec spec;
    spec.program = program;
    spec.args = args;
    spec.timeout = std::chrono::milliseconds(60000);
    return runProcess(spec);
}

// qpdf's structural check; true when it finds no errors (warnings count as errors too).
inline bool qpdfCheckClean(const std::string& path, std::string* report = nullptr,
                           const std::string& password = "") {
    std::vector<std::string> args{"--check"};
    if (!password.empty()) args.push_back("--password=" + password);
    args.push_back(path);
    ProcessResult r = runTool("qpdf", args);
    if (report) *report = r.out + r.err;
    return r.succeeded();
}

// The text poppler extracts, in physical layout order.
inline std::string popplerText(const std::string& path, int first = 0, int last = 0) {
    std::vector<std::string> args;
    if (first > 0) args.insert(args.end(), {"-f", std::to_string(first)});
    if (last > 0) args.insert(args.end(), {"-l", std::to_string(last)});
    args.insert(args.end(), {path, "-"});
    return runTool("pdftotext", args).out;
}

// The page count poppler reports; -1 when it cannot read the file.
inline int popplerPageCount(const std::string& path) {
    ProcessResult r = runTool("pdfinfo", {path});
    if (!r.succeeded()) return -1;
    auto at = r.out.find("Pages:");
    if (at == std::string::npos) return -1;
    return std::stoi(r.out.substr(at + 6));
}

}  // namespace cvl::test
