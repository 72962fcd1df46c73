// Shared by the fuzz targets: a private scratch folder for inputs that the code under test
// reads from disk, with HOME pointed at it (before the first input) so that no store touches
// the user's files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cvl::fuzz {

// The process's scratch folder (made on first use, removed at exit). HOME is set to it.
const std::string& scratchDir();
void removeScratch();
// Removes a file or folder inside the scratch folder.
void removeAt(const std::string& path);
// Writes the bytes to `path` (creating its folders); the path must lie in the scratch folder.
void writeAt(const std::string& path, std::string_view bytes);
// Writes the bytes to `name` inside the scratch folder and returns the full path.
std::string writeScratch(const std::string& name, std::string_view bytes);

inline std::string_view bytesOf(const uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace cvl::fuzz
