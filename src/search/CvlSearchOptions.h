// The options of the search subcommands of cvl, read the same way by the full program and by
// the lean start that answers index-only searches.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace cvl {

struct CvlSearchOptions {
    std::optional<std::string> db;
    std::string mode = "exact";
    bool noRefresh = false;
    std::vector<std::string> dirs;
    std::vector<std::string> files;
    std::vector<std::string> words;
};

// Which options a command accepts.
struct CvlSearchAccepts {
    bool db = false;
    bool mode = false;
    bool query = false;
    bool noRefresh = false;
};

// Reads the arguments; none when they are not valid for the command, after printing the
// reason and `usage` on standard error when `complain` is set.
std::optional<CvlSearchOptions> parseCvlSearchOptions(const std::vector<std::string>& args,
                                                      const char* usage, CvlSearchAccepts accepts,
                                                      bool complain = true);

// The query: the words joined by spaces, trimmed.
std::string cvlSearchQuery(const CvlSearchOptions& o);

// A path as the user typed it, made absolute against the current folder.
std::string cvlAbsolutePath(const std::string& p);

// The answer of an index-only search (`cvl search --no-refresh`) from the index alone, without
// the document readers; none when this search needs more (no index yet, a query short
// enough for a direct scan, PDFs in scope without text to check), so that the full program
// answers it. Prints the JSON and returns the exit status otherwise.
std::optional<int> cvlIndexOnlySearch(const CvlSearchOptions& o);

}  // namespace cvl
