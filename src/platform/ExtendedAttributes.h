// Extended attributes of files. Linux only lets unprivileged programs use names in the
// "user." namespace; callers pass the full name.
#pragma once

#include <optional>
#include <string>

namespace cvl {

// The attribute's bytes; none when the file, the attribute or support for attributes is
// missing.
std::optional<std::string> getExtendedAttribute(const std::string& path, const std::string& name);
// Sets (creating or replacing) the attribute; false when the file system refuses.
bool setExtendedAttribute(const std::string& path, const std::string& name,
                          const std::string& value);

}  // namespace cvl
