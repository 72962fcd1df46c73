// The two entry points that the desktop host (src/platform/gtk) defines for corvello's main.
#pragma once

#include <string>

namespace cvl {

// Options of the headless welcome-page screenshot, parsed from the command line.
struct WelcomeShotOptions {
    std::string out;    // PNG file to write
    bool dark = false;  // dark appearance (default light)
    int width = 1280;   // page size in pixels
    int height = 900;
    std::string demo = "marketing";  // demo profile of the welcome page
    bool wantTools = false;          // open the Tools tab before the snapshot
};

// Starts the desktop application (normal start); returns the process's exit status.
int runDesktopApplication(int argc, char** argv);

// Renders the welcome page into options.out; returns 0, 1 or 3.
int runWelcomeShot(const WelcomeShotOptions& options);

// Renders sample notice cards as PNG files into `dir` (made when missing), one line per file
// written; 0 when every file was written, 1 otherwise.
int runNoticeShot(const std::string& dir);

}  // namespace cvl
