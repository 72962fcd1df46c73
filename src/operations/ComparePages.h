// The two compare pages the program holds as text: the visual compare page ("Visual
// compare"), filled with the two documents and written to the working folder, and the
// intake page ("Compare documents") where the user puts two documents in slots A and B.
#pragma once

#include <optional>
#include <string>

namespace cvl::ComparePages {

// The text escaped for a double-quoted script string: backslashes doubled, double quotes
// and line breaks escaped, and "</" written as "<\/" so that it cannot end the script.
std::string scriptString(const std::string& text);

// The visual compare page with __A__, __B__, __NAMEA__ and __NAMEB__ filled in.
std::string visualComparePage(const std::string& a, const std::string& b);

// Writes the filled page to the working folder as ".vdiff-<UUID>.html"; its path, or none
// when it cannot be written.
std::optional<std::string> writeVisualComparePage(const std::string& a, const std::string& b);

// The intake page, and the same written as ".compare-<UUID>.html" to the working folder.
std::string intakePage();
std::optional<std::string> writeIntakePage();

}  // namespace cvl::ComparePages
