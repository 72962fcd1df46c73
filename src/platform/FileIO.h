// Whole-file reads and atomic writes (temporary file in the same folder, then rename).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Result.h"

namespace cvl {

// The whole content of a regular file of at most `maxBytes`. Anything else (a folder, a FIFO,
// a device, a larger file) gives none without blocking: a named pipe posing as a document never
// stalls the reader, and a link to an endless device never fills the memory.
inline constexpr std::size_t kMaxReadBytes = std::size_t(2) << 30;
std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes = kMaxReadBytes);

// Why readFile would give nothing for this path: "" when it would read, else "missing",
// "not a regular file" or "too large".
std::string unreadableReason(const std::string& path, std::size_t maxBytes = kMaxReadBytes);
// The user-facing sentence for a document readFile could not read.
std::string readFailureMessage(const std::string& path);

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
