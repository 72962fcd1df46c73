// What a document window needs from the application for its own work: review runs of the
// engine, watches of its loading file and folders, its grid and edit-probe conversions, and the
// news that it closed. Everything a page asks for goes to the feature modules instead (see
// BridgeModule.h). The desktop application implements it; tests use a fake.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

class ReviewWC;

// A running watch; destroying it stops the watch.
class WatchHandle {
  public:
    virtual ~WatchHandle() = default;
};

class WindowServices {
  public:
    virtual ~WindowServices() = default;

    // Starts the review-page generator with these arguments after the launcher's path.
    virtual void shellEngine(const std::vector<std::string>& args) = 0;
    // Watches (inotify in the application); none when the watch could not be set up.
    virtual std::unique_ptr<WatchHandle> watchFile(const std::string& path,
                                                   std::function<void(bool gone)> onEvent) = 0;
    virtual std::unique_ptr<WatchHandle> watchFolders(const std::vector<std::string>& paths,
                                                      std::function<void()> onChange) = 0;
    // Engine conversions a window starts for the document it shows: the grid data of a
    // spreadsheet or delimited text file, and the edit probe of a converted document. Each
    // answer is the engine's JSON text, or nothing when the run gave none; it arrives on the
    // main queue.
    using EngineAnswer = std::function<void(std::optional<std::string> json)>;
    virtual void parseGrid(const std::string& path, EngineAnswer done) = 0;
    virtual void editProbe(const std::string& path, EngineAnswer done) = 0;
    // Closed tabs and the open-tab snapshot learn about a window that goes away.
    virtual void windowClosed(ReviewWC& window) = 0;
};

}  // namespace cvl
