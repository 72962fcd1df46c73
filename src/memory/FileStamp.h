// What the memory stores know about a file's state: whole-second modification time and size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace cvl {

struct FileStamp {
    std::int64_t mtime = 0;  // seconds since the Unix epoch, truncated
    std::int64_t size = 0;   // bytes

    // "<mtime>-<size>", the form used in snapshot and sidecar names.
    std::string text() const;
};

// None when the file's attributes cannot be read.
std::optional<FileStamp> fileStamp(const std::string& path);

// "~", relative paths, "." and ".." resolved lexically (symbolic links are kept); no trailing
// slash except for "/". Empty input gives an empty result.
std::string standardizePath(const std::string& path);

}  // namespace cvl
