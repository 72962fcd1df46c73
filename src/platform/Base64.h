// Standard Base64 (RFC 4648, with padding).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cvl {

std::string base64Encode(std::string_view bytes);
// Decodes, ignoring ASCII white space; none when the text is not valid Base64.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace cvl
