// A feature's hold on the window that asked it for work: what the window showed when the
// request arrived, and a weak reply channel to its page. Replies may be sent from any thread;
// they hop to the main queue and are dropped when the window has gone.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cvl {

// The asking window as it was when the operation arrived.
struct WindowSnapshot {
    int number = 0;
    std::string bridgeId;
    // What the window shows: "reader", "grid", "review", "welcome", "history", or the kind
    // of tool page a feature opened in it ("bates", "redact", "organize", "compare", ...).
    std::string pageKind;
    // The documents or folders the window shows; a reader's first one is its original.
    std::vector<std::string> sourcePaths;
    // The PDF a reader shows: the original, or its converted copy for Word, RTF and text.
    std::string shownPdf;
    // The document set the reader belongs to.
    std::vector<std::string> setPaths;
    // The reader load generation; answers tied to a load carry it.
    long long loadGen = 0;
    std::optional<std::string> reviewMode;

    bool isReader() const { return pageKind == "reader"; }
    // The document the window stands for: a reader's original, a review's first path.
    std::string original() const { return sourcePaths.empty() ? std::string() : sourcePaths[0]; }
    // The file operations act on: the shown PDF of a reader, else the first source path.
    std::string shownFile() const { return !shownPdf.empty() ? shownPdf : original(); }
    // Whether a path from the page is one of this window's documents: a source or set path,
    // the shown PDF, or a file inside a folder the window reviews.
    bool holds(const std::string& path) const;
};

// What a window offers to the features that answer its page. Implemented by the document
// window; called on the main thread only (WindowHandle takes care of that).
class BridgeWindow {
  public:
    virtual ~BridgeWindow() = default;
    virtual WindowSnapshot snapshot() const = 0;
    virtual void evaluateScript(const std::string& script) = 0;
    virtual void evaluateScript(const std::string& script,
                                std::function<void(std::optional<std::string>)> reply) = 0;
    // Shows a page in this window: an engine tool page or a generated one, as `pageKind`,
    // standing for `sourcePaths`.
    virtual void showToolPage(const std::string& url, const std::string& pageKind,
                              const std::vector<std::string>& sourcePaths) = 0;
    // Starts a review run of the paths in this window.
    virtual void showReview(const std::vector<std::string>& paths,
                            const std::optional<std::string>& mode) = 0;
    // Reloads a reader from its file, keeping the view.
    virtual void reloadReader() = 0;
    // Closes the window without asking the page.
    virtual void closeWindow() = 0;
    // Brings the window (and its tab) to the front.
    virtual void present() {}
};

class WindowHandle {
  public:
    WindowHandle() = default;
    explicit WindowHandle(std::weak_ptr<BridgeWindow> window) : window_(std::move(window)) {}

    // A guarded call of the page function with script arguments (see PageScript).
    void call(const std::string& function, const std::string& args) const;
    // A toast in the page.
    void toast(const std::string& text) const;
    // A script built by PageScript.
    void run(const std::string& script) const;
    // Evaluates an expression in the page; `reply` gets its value as text (none when it is
    // null, undefined or failed, or the window has gone), on the main queue.
    void read(const std::string& expression,
              std::function<void(std::optional<std::string>)> reply) const;
    void showToolPage(const std::string& url, const std::string& pageKind,
                      const std::vector<std::string>& sourcePaths) const;
    void showReview(const std::vector<std::string>& paths,
                    const std::optional<std::string>& mode) const;
    void reloadReader() const;
    void close() const;
    void present() const;
    // The window as it is now, when it still exists (main thread only).
    std::optional<WindowSnapshot> snapshot() const;
    bool alive() const { return !window_.expired(); }

  private:
    void onMain(std::function<void(BridgeWindow&)> work) const;
    std::weak_ptr<BridgeWindow> window_;
};

}  // namespace cvl
