// Whole-file reads and atomic writes (temporary file in the same folder, then rename).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace cvl {

std::optional<std::string> readFile(const std::string& path);

// Writes `data` to a temporary file beside `path`, flushes it and renames it over `path`.
// Nothing is left behind on failure.
Status writeFileAtomic(const std::string& path, std::string_view data, unsigned mode = 0644);

// Creates a folder and its parents; true when it exists afterwards.
bool makeDirs(const std::string& path);

bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);
bool isRegularFile(const std::string& path);

std::string lastPathComponent(const std::string& path);
std::string parentPath(const std::string& path);
std::string pathExtension(const std::string& path);  // without the dot, as written
// The extension of the last path component, lower-cased (ASCII), without the dot.
std::string lowerExtension(const std::string& path);

}  // namespace cvl
