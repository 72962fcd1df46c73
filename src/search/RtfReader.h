// An RTF-to-text reader: control words, groups, paragraph marks, \'hh and \uN escapes, and
// skipped destinations (font and colour tables, style sheets, pictures, objects, headers).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cvl::RtfReader {

// The document's text as UTF-8, one line per paragraph; none when it is not RTF.
std::optional<std::string> plainText(std::string_view rtf);

}  // namespace cvl::RtfReader
