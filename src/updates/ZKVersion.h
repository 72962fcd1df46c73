// Version comparison for the updater: dot-separated pieces read as decimal integers.
#pragma once

#include <optional>
#include <string_view>

namespace cvl::ZKVersion {

// Negative, zero or positive as `a` is older than, equal to or newer than `b`. Empty pieces
// are dropped, a piece that is not a number counts as 0 and a missing piece as 0, so "2.0"
// equals "2" and "1.10" is newer than "1.9".
int compare(std::string_view a, std::string_view b);

// A build number: a decimal integer; none for anything else.
std::optional<long long> parseBuild(std::string_view text);

}  // namespace cvl::ZKVersion
