// The open-tab snapshot: the tabs open at the last quit, written while running and read at
// start-up to decide whether they come back. The decision and the file handling live here;
// the desktop host reopens the windows it is given.
#pragma once

#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/ClosedTabs.h"

namespace cvl {

// Why the saved tabs are reopened: "relaunch", "update", or none when they stay closed.
// A different build after an unclean exit, or after a clean quit less than 600 s old, is an
// update relaunch; the same build reopens only after a clean quit with keep-windows on.
std::optional<std::string> openTabsRestoreReason(const std::optional<std::string>& savedBuild,
                                                 const std::string& build, bool cleanQuit,
                                                 std::optional<double> quitAge, bool discard,
                                                 bool keepWindows);

// The snapshot file: CVL_OPEN_TABS_PATH when set and non-empty, else the support folder's
// open-tabs.json.
std::string openTabsPath();

struct OpenTabRow {
    ClosedTab tab;
    std::optional<long long> group;  // rows with the same group share one window
    bool selected = false;           // the selected tab of its group
};

// The tab object of the snapshot: the ClosedTab dictionary plus "group" and "selected".
nlohmann::json openTabDictionary(const OpenTabRow& row);

// Rows that can come back: tab objects that parse as a ClosedTab and whose first path exists.
std::vector<OpenTabRow> restorableRows(const nlohmann::json& tabs);

// One window to reopen: its tabs in row order and the index of the selected one.
struct RestoreWindow {
    std::vector<OpenTabRow> tabs;
    std::optional<size_t> selected;
};
// Rows of one group join one window (ordered by the group's first row); rows without a
// group open alone.
std::vector<RestoreWindow> groupRows(const std::vector<OpenTabRow>& rows);

struct OpenTabsRestorePlan {
    std::string reason;  // "relaunch" or "update"
    size_t savedRows = 0;
    std::vector<RestoreWindow> windows;
};

// The launch-time reading and the running writes of the snapshot. One per application.
class OpenTabsKeeper {
  public:
    // Lines for the reader log; the system log when not set.
    std::function<void(const std::string&)> log;

    // Decides at start-up whether the saved tabs come back. On a restore the file has
    // already been stamped (running build, unclean quit, no discard) and the keeper is in
    // the restoring state until finishRestore. Otherwise the launch read is marked.
    std::optional<OpenTabsRestorePlan> decideRestore(const std::string& build, double now);

    // After the host reopened the plan's windows: logs, ends the restoring state and marks
    // the launch read. `frontApp` describes the front-application handling ("" when none).
    void finishRestore(const OpenTabsRestorePlan& plan, size_t reopened,
                       const std::string& frontApp);

    enum class WriteOutcome { removed, refused, unchanged, written, failed };
    // Removes the file when remembering tabs is off; refuses before the launch read and
    // during a restore; skips a write identical to the last one (apart from its time).
    WriteOutcome writeOpenTabs(bool cleanQuit, bool discard, const std::vector<OpenTabRow>& tabs,
                               const std::string& build, double now);
    void forgetLastWritten() { lastWritten_.clear(); }

    bool launchRead() const { return launchRead_; }
    bool restoring() const { return restoring_; }
    // For hosts that skip the launch reading altogether (command-line modes).
    void markLaunchRead() { launchRead_ = true; }

  private:
    void say(const std::string& line) const;
    bool launchRead_ = false;
    bool restoring_ = false;
    std::string lastWritten_;
};

}  // namespace cvl
