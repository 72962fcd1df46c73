// The self-contained install directory the updater replaces as a whole:
//   ROOT/bin/corvello, ROOT/bin/cvl, ROOT/share/corvello/{VERSION,BUILD,engine,...},
//   ROOT/share/{applications,icons,man,mime,metainfo,doc}
// and nothing else at its top, so that a shared prefix such as /usr or /usr/local is never
// taken for one.
#pragma once

#include <optional>
#include <string>

namespace cvl::ZKInstallDir {

struct Version {
    std::string version;  // share/corvello/VERSION, trimmed
    std::string build;    // share/corvello/BUILD, trimmed; empty when missing
};

// True when `root` has the layout above.
bool isSelfContained(const std::string& root);

// The install directory holding `executable` (ROOT/bin/NAME), when it is a self-contained one.
std::optional<std::string> rootOf(const std::string& executable);

// This process's executable, with links resolved.
std::string runningExecutable();

// The version files of an install directory; none when VERSION is missing or empty.
std::optional<Version> versionOf(const std::string& root);

// The Debian package that owns `path` (dpkg -S); none when no package does or dpkg is absent.
std::optional<std::string> owningPackage(const std::string& path);

// This system's C library version ("2.36"), which the appcast's minimum is compared with.
std::string systemVersion();

// A process (other than this one) whose program is ROOT/bin/corvello; none when none runs.
std::optional<int> corvelloRunningFrom(const std::string& root);

// The first directory directly inside `folder` (by name) that is a self-contained install.
std::optional<std::string> findInstallIn(const std::string& folder);

}  // namespace cvl::ZKInstallDir
