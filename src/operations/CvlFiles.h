// `cvl files`: the browsing pages' file operations for scripts, with the same free-name and
// never-replace rules, printing the same outcome objects.
#pragma once

#include <string>
#include <vector>

namespace cvl {

inline constexpr const char* kCvlFilesUsage =
    "files move --dest DIR PATH... | newfolder --parent DIR [--name NAME] [PATH...] | "
    "trash PATH... | rename PATH NEWNAME | duplicate PATH";

// Exit 0 when every item succeeded, 1 when any failed (the outcome says which and why),
// 2 for bad arguments.
int cvlFilesMain(const std::vector<std::string>& args);

}  // namespace cvl
