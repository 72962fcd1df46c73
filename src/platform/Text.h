// Small text helpers shared by every subsystem: ASCII lower-casing, trimming and UTF-8 repair.
#pragma once

#include <string>
#include <string_view>

namespace cvl {

// A-Z lowered; every other byte (UTF-8 sequences included) kept as it is.
std::string asciiLower(std::string_view text);
// The text without ASCII white space (space, tab, line feed, carriage return, form feed,
// vertical tab) at either end.
std::string trimmed(std::string_view text);
// The text with every byte that does not belong to a well-formed UTF-8 sequence replaced by
// U+FFFD, so that JSON encoders and Unicode matching see valid text.
std::string repairUtf8(std::string_view text);

}  // namespace cvl
