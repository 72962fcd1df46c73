// Plain text of Word documents: .docx read in-process from its main document part, legacy
// .doc through antiword. The text has one paragraph per line and an empty line for each
// empty paragraph.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cvl::WordReader {

// The text of a WordprocessingML main document part.
std::string documentXmlText(std::string_view documentXml);
// The text of a .docx container; none when it is not a readable Word container.
std::optional<std::string> docxText(const std::string& path);
// The text of a legacy Word file from antiword; none when antiword cannot run.
std::optional<std::string> docText(const std::string& path);

}  // namespace cvl::WordReader
