// The user's folders, resolved from HOME at every call so that tests can redirect them.
#pragma once

#include <string>

namespace cvl::UserDirs {

std::string home();
// "~" or "~/..." expanded with home(); other paths unchanged.
std::string expandTilde(const std::string& path);
// ~/Library/Application Support/Corvello
std::string supportDir();
// ~/Library/Logs/Corvello
std::string logDir();
// ~/Vizazi Divavo rez Iviruzi: the working folder for generated pages and exchange files.
std::string archiveDir();
// supportDir() + "/config.json"
std::string configPath();

// The resource folder: CVL_RESOURCES when set; else share/corvello of the install directory
// the executable runs from (ROOT/bin/corvello -> ROOT/share/corvello); else the configured
// install prefix's share/corvello when it exists; else the source tree's resources/.
std::string resourceDir();

}  // namespace cvl::UserDirs
