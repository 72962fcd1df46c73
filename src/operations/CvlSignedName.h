// Names of signed copies: the source's name cleaned of signing markers ("unsigned", "for
// signature", "to sign", ...) with " (signed)" appended.
#pragma once

#include <string>
#include <vector>

namespace cvl::CvlSignedName {

// The words and phrases removed from names, longest first.
const std::vector<std::string>& markerWords();

// The cleaned name plus " (signed)" (nothing appended when it already ends in "(signed)" or
// "(signed N)"); "Document (signed)" when nothing is left. A ".pdf" (or other) extension is
// dropped first, but a trailing "Inc." or "Ltd." keeps its period.
std::string base(const std::string& name);
// base(name) + ".pdf".
std::string fileName(const std::string& name);
// fileName(name) in `folder`, or when that exists the first free "stem (signed N).pdf", N from 2.
std::string freePathIn(const std::string& folder, const std::string& name);

}  // namespace cvl::CvlSignedName
