// `cvl update check|install [--feed URL]`: the updater's checks from the command line.
#pragma once

#include <string>
#include <vector>

namespace cvl {

inline constexpr const char* kCvlUpdateUsage = "update check|install [--feed URL]";

// check: reads the feed and reports whether a newer version is available (nothing is
// downloaded). install: downloads, verifies and installs a newer version into the install
// directory this cvl runs from, at once and without relaunching. Prints
// {command, outcome, status, running, version, build, feed, error}; exit 0 when the check
// succeeded (up to date, available, installed, ...), 1 when it failed (feed unreachable,
// verification, swap, updater off), 2 for bad arguments.
int cvlUpdateMain(const std::vector<std::string>& args);

}  // namespace cvl
