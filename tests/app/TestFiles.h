// Small helpers for tests that lay out files under a temporary HOME.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/FileIO.h"

namespace cvl::test {

inline bool putFile(const std::string& path, const std::string& text, bool executable = false) {
    if (!makeDirs(parentPath(path))) return false;
    if (!writeFileAtomic(path, text, executable ? 0755 : 0644)) return false;
    return true;
}

}  // namespace cvl::test
