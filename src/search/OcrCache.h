// The OCR text cache, read side: recognised page text stored per document version under
// the support folder, keyed by path, modification time and size.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace cvl::OcrCache {

// ~/Library/Application Support/Corvello/ocr (created when asked for).
std::string ocrCacheDir();
// Lower-case hex SHA-256 of "path|mtime|size"; none when the file's attributes are unreadable.
std::optional<std::string> ocrCacheKey(const std::string& path);
// 1-based page number -> recognised text; none when there is no usable entry.
std::optional<std::map<std::int64_t, std::string>> ocrCacheRead(const std::string& path);

}  // namespace cvl::OcrCache
