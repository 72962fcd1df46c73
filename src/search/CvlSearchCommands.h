// The search subcommands of cvl: index, search, scan and text.
#pragma once

#include <string>
#include <vector>

namespace cvl {

// cvl index [--db PATH] [--dir D]... [--file F]...
int cvlIndexMain(const std::vector<std::string>& args);
inline constexpr const char* kCvlSearchUsage =
    "search [--db PATH] [--mode exact|fuzzy] [--no-refresh] [--dir D]... [--file F]... QUERY";

// With --no-refresh the index answers as it stands: no walk of the folders for changes.
int cvlSearchMain(const std::vector<std::string>& args);
// cvl scan [--dir D]... [--file F]... QUERY
int cvlScanMain(const std::vector<std::string>& args);
// cvl text FILE: the text the index reads from one document, as its chunks
int cvlTextMain(const std::vector<std::string>& args);

}  // namespace cvl
