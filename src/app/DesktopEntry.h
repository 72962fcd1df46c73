// The two entry points that the desktop host (src/platform/gtk) defines for corvello's main.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "updates/ZKNoticeContent.h"
#include "window/WelcomeShotCheck.h"

namespace cvl {

class DesktopShell;
class PageSchemes;

// The application the desktop host runs, made once the toolkit is up.
class DesktopRunner {
  public:
    virtual ~DesktopRunner() = default;
    virtual void start() = 0;
    // Documents handed to the application (command line, file manager, a second launch).
    virtual void openFiles(const std::vector<std::string>& paths) = 0;
    // The desktop asked for the running application again.
    virtual void reopen() = 0;
    virtual void shutdown() = 0;
};
using DesktopFactory = std::function<std::unique_ptr<DesktopRunner>(DesktopShell& shell)>;

// Options of the headless welcome-page screenshot, parsed from the command line.
struct WelcomeShotOptions {
    std::string out;    // PNG file to write
    bool dark = false;  // dark appearance (default light)
    int width = 1280;   // page size in pixels
    int height = 900;
    std::string demo = "marketing";  // demo profile of the welcome page
    bool wantTools = false;          // open the Tools tab before the snapshot
};

// Starts the desktop application (normal start) with the application `make` gives for the
// toolkit's shell; pages get `demoProfile` (empty: none) and read documents through
// `schemes`. Returns the process's exit status.
int runDesktopApplication(int argc, char** argv, const std::string& demoProfile,
                          std::shared_ptr<PageSchemes> schemes, DesktopFactory make);

// ---- headless pictures, drawn by the desktop host

// A page loaded headless at a size, `script` run once it has loaded, then pictured.
struct PageShotRequest {
    std::string url;
    std::string script;
    int width = 1280;
    int height = 900;
    bool dark = false;
};
// What the picture looks like: its size, a pixel reader, and the PNG bytes.
struct PageShotFrame {
    int width = 0;
    int height = 0;
    std::function<std::optional<Rgb>(int x, int y)> pixel;
    std::string png;
};
// Renders the page and hands the frame to `judge`, whose answer is the exit status; a page
// that fails to load or to be pictured (or takes over 30 s) gives 1 with a message.
using PageShotJudge = std::function<int(const PageShotFrame& frame)>;
int renderPageShot(const PageShotRequest& request, const PageShotJudge& judge);
// One notice card as PNG bytes at twice its size in points (empty when it could not be
// drawn); `progress` is the rail's fill, -1 for none.
std::string drawNoticeCard(const ZKNoticeContent& content, bool dark, double progress, int& width,
                           int& height);

// ---- the command-line modes built on them

// Renders the welcome page into options.out; returns 0, 1 or 3.
int runWelcomeShot(const WelcomeShotOptions& options,
                   int (*render)(const PageShotRequest&, const PageShotJudge&));
// Renders sample notice cards as PNG files into `dir` (made when missing), one line per file
// written; 0 when every file was written, 1 otherwise.
int runNoticeShot(const std::string& dir,
                  std::string (*draw)(const ZKNoticeContent&, bool, double, int&, int&));

}  // namespace cvl
