// Resolving a path to the one file system name of what it names.
#pragma once

#include <optional>
#include <string>

namespace cvl {

// The absolute path with every symbolic link, "." and ".." resolved; nothing when the path
// does not exist or cannot be resolved.
std::optional<std::string> resolvedPath(const std::string& path);

}  // namespace cvl
