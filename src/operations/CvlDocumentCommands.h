// `cvl form`, `cvl fill`, `cvl redact` and `cvl sign`: the form, redaction and signing core from
// the command line. Each prints one JSON object; exit 0, 1 when the operation failed (the
// message is in "error"), 2 for bad arguments (usage on standard error).
#pragma once

#include <string>
#include <vector>

namespace cvl {

inline constexpr const char* kCvlFormUsage = "form FILE [--fields]";
inline constexpr const char* kCvlFillUsage = "fill FILE --set NAME=VALUE... --out OUT [--force]";
inline constexpr const char* kCvlRedactUsage =
    "redact FILE --box PAGE:X0,Y0,X1,Y1... --out OUT [--searchable] [--dpi N] [--force]";
inline constexpr const char* kCvlSignUsage =
    "sign FILE --image SIG.png --place PAGE:X,Y,W,H... --out-dir DIR";

int cvlFormMain(const std::vector<std::string>& args);
int cvlFillMain(const std::vector<std::string>& args);
int cvlRedactMain(const std::vector<std::string>& args);
int cvlSignMain(const std::vector<std::string>& args);

}  // namespace cvl
