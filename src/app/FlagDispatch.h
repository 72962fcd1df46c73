// The command-line modes of corvello: a table of flags tested in order; the first that
// matches runs its mode and gives the process's exit status.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/DesktopEntry.h"
#include "platform/Result.h"

namespace cvl {

// Modes that need the desktop host; corvello's main fills them in. A null entry reports
// that the mode is not available in this build.
struct DesktopModes {
    int (*welcomeShot)(const WelcomeShotOptions&) = nullptr;
    int (*noticeShot)(const std::string& dir) = nullptr;
};

struct FlagCall {
    const std::vector<std::string>& args;  // argv[1...]
    std::string flag;                      // the flag that matched
    std::optional<std::string> next;       // the argument right after the flag, when there is one
    const DesktopModes& desktop;
};

struct FlagRow {
    const char* flag;
    bool needsNext;  // without an argument after it, the row does not match
    int (*run)(const FlagCall&);
};

// The rows in the order they are tested.
std::span<const FlagRow> flagTable();

// The first row that matches `args`, or null for a normal start.
const FlagRow* matchFlag(const std::vector<std::string>& args);

// Runs the matching mode and returns its exit status; none when no flag matched.
std::optional<int> runFlagMode(const std::vector<std::string>& args, const DesktopModes& desktop);

// The welcome-shot options; a failure carries the message for standard error (exit status 2).
Result<WelcomeShotOptions> parseWelcomeShotArgs(const std::vector<std::string>& args);

// The tab-restore decision self-test: prints one line per case, returns 0 when all pass.
int runTabRestoreSelftest();

}  // namespace cvl
