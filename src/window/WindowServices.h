// What a document window asks of the application and of the other subsystems. The desktop
// application implements it; tests use a fake. Feature calls return false when their feature
// is not part of this build, and the window then treats the operation as unknown.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

class LinkSession;
class ReviewWC;

// Replies travel as JSON text; the window hops them to the main queue and drops them when
// it has gone meanwhile.
using JsonReply = std::function<void(std::string json)>;
// A reply that names the page function itself (for flows that call several).
using PageCall = std::function<void(const std::string& function, const std::string& argument)>;

// A running watch; destroying it stops the watch.
class WatchHandle {
  public:
    virtual ~WatchHandle() = default;
};

class WindowServices {
  public:
    virtual ~WindowServices() = default;

    // The desktop.
    virtual void openInBrowser(const std::string& url) = 0;
    virtual void openWithDefaultApp(const std::string& path) = 0;
    virtual void revealInFileManager(const std::string& path) = 0;
    virtual void setClipboardText(const std::string& text) = 0;

    // The application.
    virtual void openReader(const std::string& path, int page) = 0;
    // A recent or history item: folders open as a review, documents in the reader.
    virtual void openItem(const std::string& path) = 0;
    virtual void openReview(const std::vector<std::string>& paths,
                            const std::optional<std::string>& mode) = 0;
    virtual void pickAndReview(const std::optional<std::string>& mode) = 0;
    // Picks one document and opens it in the reader.
    virtual void pickAndRead() = 0;
    virtual void openPanel(const std::string& kind) = 0;
    // The File History page, opening on a view ("recent", "favourites", "pinned", "folders").
    virtual void openHistory(const std::string& startMode) = 0;
    virtual void toggleTheme() = 0;
    virtual void goHome(ReviewWC& window) = 0;
    virtual void setPinned(const std::string& path, bool pinned) = 0;
    virtual void showNotice(const std::string& id, const std::string& title,
                            const std::string& text) = 0;
    // Connects or disconnects the desktop agent's connector; the settings panel is shown
    // again with the new state, and a failure becomes a notice.
    virtual void setAgentConnected(bool /*connect*/) {}
    // Starts the review-page generator with these arguments after the launcher's path.
    virtual void shellEngine(const std::vector<std::string>& args) = 0;
    // Closed tabs and the open-tab snapshot learn about a window that goes away.
    virtual void windowClosed(ReviewWC& window) = 0;

    // Settings.
    virtual std::optional<std::string> configString(const std::string& key) = 0;
    virtual std::optional<bool> configBool(const std::string& key) = 0;
    virtual void setConfigString(const std::string& key, const std::string& value) = 0;
    // The settings panel's typed setter, with its side effects.
    virtual void applyConfig(const std::string& key, const std::string& value) = 0;
    virtual void removeConfigKeysWithPrefix(const std::string& prefix) = 0;
    // The settings panel's keyboard shortcut for one menu command; a refused one is said.
    virtual void setShortcut(const std::string& command, const std::string& combo) = 0;
    virtual bool darkScheme() = 0;
    virtual std::string brandName() = 0;
    // The build number written next to rule-gap reports.
    virtual std::string buildNumber() = 0;

    // Watches (inotify in the application).
    virtual std::unique_ptr<WatchHandle> watchFile(const std::string& path,
                                                   std::function<void(bool gone)> onEvent) = 0;
    virtual std::unique_ptr<WatchHandle> watchFolders(const std::vector<std::string>& paths,
                                                      std::function<void()> onChange) = 0;

    // The reader log ("reader.log" in the log folder).
    virtual void readerLog(const std::string& line) = 0;

    // Features of other subsystems.
    virtual bool pageCommand(const std::map<std::string, std::string>& fields, JsonReply reply) = 0;
    virtual bool readerSearch(const std::string& query, const std::string& path,
                              JsonReply reply) = 0;
    virtual bool folderSearch(const std::string& url, const std::vector<std::string>& sources,
                              PageCall post) = 0;
    virtual bool outline(const std::string& path, JsonReply reply) = 0;
    // Document links: the application's one link-making session (null when links are not
    // part of this build) and its open reader windows.
    virtual LinkSession* linkSession() = 0;
    virtual std::vector<std::shared_ptr<ReviewWC>> readerWindows() = 0;
    virtual bool renderPages(const std::string& path, JsonReply reply) = 0;
    // Engine conversions a window starts for the document it shows: the grid data of a
    // spreadsheet or delimited text file, and the edit probe of a converted document. Each
    // answer is the engine's JSON text, or nothing when the run gave none; it arrives on the
    // main queue.
    using EngineAnswer = std::function<void(std::optional<std::string> json)>;
    virtual bool parseGrid(const std::string& /*path*/, EngineAnswer /*done*/) { return false; }
    virtual bool editProbe(const std::string& /*path*/, EngineAnswer /*done*/) { return false; }
    // History page operations ("histforget", "histfav", "histpin", "histpinclear",
    // "histcovers"); replies carry what the page's callback receives.
    virtual bool history(const std::string& op, const std::vector<std::string>& paths,
                         JsonReply reply) = 0;
};

}  // namespace cvl
