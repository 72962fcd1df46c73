// The user's folders, resolved from HOME at every call so that tests can redirect them.
#pragma once

#include <string>
#include <vector>

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
// ~/.claude/skills/_corvello_use_bundled_engine: engine files here win over the packaged ones.
std::string engineOverrideDir();
// supportDir() + "/config.json"
std::string configPath();

// The resource folder: CVL_RESOURCES when set; else share/corvello of the install directory
// the executable runs from (ROOT/bin/corvello -> ROOT/share/corvello); else the configured
// install prefix's share/corvello when it exists; else the source tree's resources/.
std::string resourceDir();

// The folders the program's own pages load from: the resource folder, the engine override
// folder and the working folder.
std::vector<std::string> ownPageDirs();

}  // namespace cvl::UserDirs
