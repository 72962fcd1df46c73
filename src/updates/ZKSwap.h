// The swap: a /bin/sh script that waits for the running program to exit, moves the install
// directory aside as DEST.old, copies the staged one in, restores DEST.old when the copy
// fails, removes the working folder and relaunches. Its lines go to the updater's trace file.
#pragma once

#include <optional>
#include <string>

#include "platform/Result.h"

namespace cvl {

enum class ZKRelaunch { None, Front, Background };

struct ZKSwapPlan {
    int pid = 0;              // the process to wait for; 0 waits for none
    int waitSeconds = 180;    // polled every 0.3 s
    std::string staged;       // the unpacked install directory
    std::string workFolder;   // removed at the end (holds `staged`)
    std::string destination;  // the install directory to replace
    std::string version;
    std::string logPath;
    ZKRelaunch relaunch = ZKRelaunch::None;
    std::optional<std::string> restartUnit;  // a systemd user unit restarted instead
    std::string copyTool = "/bin/cp";        // called as TOOL -a -T STAGED DEST
};

// How the script ended (its exit status).
enum class ZKSwapEnd {
    Installed = 0,
    StillRunning = 3,  // the process did not exit in time; nothing changed
    MoveFailed = 4,    // the install could not be moved aside; nothing changed
    CopyRestored = 5,  // the copy failed and the previous install was put back
};

namespace ZKSwap {

std::string script(const ZKSwapPlan& plan);

// The text for a single-quoted shell word.
std::string shellQuote(const std::string& text);

}  // namespace ZKSwap
}  // namespace cvl
