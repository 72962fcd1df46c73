// The open-tab snapshot: the tabs open at the last quit, written while running and read at
// start-up to decide whether they come back.
#pragma once

#include <optional>
#include <string>

namespace cvl {

// Why the saved tabs are reopened: "relaunch", "update", or none when they stay closed.
// A different build after an unclean exit, or after a clean quit less than 600 s old, is an
// update relaunch; the same build reopens only after a clean quit with keep-windows on.
std::optional<std::string> openTabsRestoreReason(const std::optional<std::string>& savedBuild,
                                                 const std::string& build, bool cleanQuit,
                                                 std::optional<double> quitAge, bool discard,
                                                 bool keepWindows);

}  // namespace cvl
