// Collecting the files of a search scope: explicit files first, then the folders searched
// recursively (hidden entries and package contents skipped), in a stable order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cvl::SearchScope {

// Visits each entry under `dir` in depth-first pre-order with names sorted bytewise;
// hidden entries are skipped, packages are visited but not entered, symbolic links to
// folders are not followed, unreadable folders are passed over. The visitor returns false
// to stop the walk; the function returns false when the walk was stopped.
bool enumerate(const std::string& dir, const std::function<bool(const std::string& path)>& visit);

// The ordered, duplicate-free list of paths for the scope. `acceptFile` decides which
// existing explicit files count and `acceptEntry` which enumerated entries do. Collection stops at
// `maxFiles` before each folder and each entry; `onCollected` may stop it early by returning false.
std::vector<std::string> collect(const std::vector<std::string>& dirs,
                                 const std::vector<std::string>& explicitFiles,
                                 std::int64_t maxFiles,
                                 const std::function<bool(const std::string&)>& acceptFile,
                                 const std::function<bool(const std::string&)>& acceptEntry,
                                 const std::function<bool(const std::string&)>& onCollected = {});

}  // namespace cvl::SearchScope
