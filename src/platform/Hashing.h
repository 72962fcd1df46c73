// SHA-256 and random UUIDs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cvl {

// Lower-case hex SHA-256 of the bytes.
std::string sha256Hex(std::string_view data);
// Lower-case hex SHA-256 of a file's contents, read in blocks; none when unreadable.
std::optional<std::string> sha256HexOfFile(const std::string& path);

// A new random (version 4) UUID in upper-case canonical form.
std::string newUuid();

}  // namespace cvl
