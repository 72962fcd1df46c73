// The program's version text.
#pragma once

#include <string>

namespace cvl {

// First non-empty of: the trimmed VERSION file of the resource folder; the trimmed VERSION
// of the user's engine override folder; "1.0.0".
std::string kVersion();

}  // namespace cvl
