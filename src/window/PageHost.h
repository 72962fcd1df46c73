// What a document window needs from the web view that shows its page. The desktop shell
// implements it with WebKitGTK; tests use a fake that records every call.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace cvl {

// One navigation of a page, and what the window decides about it.
struct NavigationRequest {
    std::string url;          // empty when the navigation has no address
    bool isDownload = false;  // the web view flags the navigation as a download
    // The address of the page the view shows (its last committed load): the page that asks.
    std::string pageURL;
};

enum class NavigationPolicy { Allow, Cancel, Download };

class PageHost {
  public:
    virtual ~PageHost() = default;

    // Loads an address. For file addresses the page may read every file under `readAccess`.
    virtual void loadURL(const std::string& url, const std::string& readAccess) = 0;
    // Evaluates a script and forgets its result.
    virtual void evaluateScript(const std::string& script) = 0;
    // Evaluates a script; `reply` receives its result as text, or nothing when the result is
    // null, undefined or the script failed. The reply always arrives on the main queue.
    virtual void evaluateScript(const std::string& script,
                                std::function<void(std::optional<std::string>)> reply) = 0;
    virtual std::string title() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    // The file the window stands for (shown by the desktop as the window's document).
    virtual void setRepresentedFile(const std::string& path) = 0;
    virtual std::string representedFile() const = 0;
    // The text drawn on the window's tab; nothing when there is no tab bar.
    virtual std::optional<std::string> drawnLabel() const = 0;
    virtual void present() = 0;
    // Closes the window at once, without asking the page.
    virtual void close() = 0;
};

}  // namespace cvl
