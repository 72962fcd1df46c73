// Escaping for script calls and HTML, and reading query items of bridge addresses.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cvl {

// The text as a double-quoted JSON string literal; "\"\"" when it cannot be encoded.
std::string jsQuote(std::string_view text);
// For single-quoted script strings: \ -> \\, ' -> \', line feed and carriage return -> space.
std::string jsEsc(std::string_view text);
// & < > " escaped, in that order.
std::string htmlEscape(std::string_view text);

// Percent-decoding as query parsing does it ('+' is kept as is).
std::string percentDecode(std::string_view text);
// Percent-encodes everything but unreserved characters.
std::string percentEncode(std::string_view text);
// Percent-encodes each step of a path for a file address, keeping the slashes.
std::string percentEncodePath(std::string_view path);
// The text without the spaces, tabs and line breaks around it.
std::string trimWhitespace(std::string_view text);

// The first query item named `name` of `url`, percent-decoded.
std::optional<std::string> urlQuery(std::string_view url, std::string_view name);

}  // namespace cvl
