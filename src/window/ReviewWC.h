// A document window: one page (review, reader, grid, tool page or one of the host's pages), the
// review run that feeds it, the reader session, and the dispatch through which the page asks for
// work. Toolkit-free: the page is reached through PageHost; the operations of the page go to the
// feature modules; the window's own needs go to WindowServices.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "memory/DocIdentity.h"
#include "window/BridgeDispatch.h"
#include "window/BridgeModules.h"
#include "window/PageHost.h"
#include "window/WindowHandle.h"
#include "window/WindowServices.h"

namespace cvl {

// A window's restorable tab: kind ("reader", "grid" or a review), paths, view, mode, title.
struct TabRecord {
    std::string kind;
    std::vector<std::string> paths;
    std::optional<std::string> view;
    std::optional<std::string> mode;
    std::string title;
};

// What the application gives each document window.
struct WindowContext {
    WindowServices& services;
    AppActions& app;
    const BridgeModuleSet& modules;
    std::unique_ptr<Dialogs> dialogs;  // attached to this window
};

class ReviewWC : public BridgeWindow, public std::enable_shared_from_this<ReviewWC> {
  public:
    ReviewWC(int number, std::unique_ptr<PageHost> page, WindowContext context);
    ~ReviewWC() override;
    ReviewWC(const ReviewWC&) = delete;
    ReviewWC& operator=(const ReviewWC&) = delete;

    // The reader's view state, and finishing the page's pending work before a close.
    static std::string captureViewScript();
    static std::string flushScript();

    int number() const { return number_; }
    // The window's identity for the agent bridge.
    const std::string& bridgeId() const { return bridgeId_; }
    PageHost& page() { return *page_; }
    const PageHost& page() const { return *page_; }
    Dialogs& dialogs() { return *dialogs_; }
    WindowHandle handle() { return WindowHandle(weak_from_this()); }

    // Every navigation of the page.
    NavigationPolicy decidePolicy(const NavigationRequest& request);
    // Whether its page may read the file at `path` through the PDF schemes: the window's own
    // documents (and a reader's annotated copy), nothing else.
    bool mayServe(const std::string& path) const;
    // A "corvello" script message; `body` is its JSON text.
    void receiveScriptMessage(const std::string& body);

    // BridgeWindow.
    WindowSnapshot snapshot() const override;
    void evaluateScript(const std::string& script) override;
    void evaluateScript(const std::string& script,
                        std::function<void(std::optional<std::string>)> reply) override;
    void showToolPage(const std::string& url, const std::string& pageKind,
                      const std::vector<std::string>& sourcePaths) override;
    void showReview(const std::vector<std::string>& paths,
                    const std::optional<std::string>& mode) override;
    void reloadReader() override;
    void closeWindow() override;
    void present() override { page_->present(); }

    // Review runs.
    void load(const std::vector<std::string>& paths, const std::optional<std::string>& mode);
    std::string newLoadingFile();
    void armLoadingWatch();
    void doCancel();
    void reshell(const std::optional<std::string>& folders, const std::optional<std::string>& types,
                 bool remember);
    void reshellChoose(bool reset);
    void reloadRecache(bool fresh);

    // Reader session.
    // Marks the window a reader of `sourcePath` (title and represented file set).
    void becomeReader(const std::string& sourcePath, const std::vector<std::string>& setPaths);
    // Loads a reader address: a new generation, the identity binding, read access to home. A
    // PDF original is copied into the version store (once per state of the file).
    void loadReader(const std::string& url);
    void setLastViewState(std::string view) { lastViewState_ = std::move(view); }
    void setPendingViewRestore(std::optional<std::string> view) {
        pendingViewRestore_ = std::move(view);
    }
    // Page grid: spreadsheets and delimited text. The spinner shows while the engine reads
    // the cells; then the grid page loads and asks for them ("gridready"). A failure reaches
    // the page as an object with an "error".
    static bool opensAsGrid(const std::string& path);
    void openGrid(const std::string& path);
    const std::optional<std::string>& gridJSON() const { return gridJSON_; }

    // Word-processor and text documents shown as converted PDFs are probed for editing; the
    // page receives {"editable", "why"} as its edit state.
    static bool probesForEditing(const std::string& path);
    void probeEditing(const std::string& path);
    std::string editStateJSON() const;

    // Shows a page without a review run: an open surface (welcome, history) empties the
    // window so that the next open reuses it.
    void showPage(const std::string& url, bool openSurface);

    // Closing. shouldClose() answers whether the window may close now; when it answers
    // false it has asked the page to flush and closes the window itself when the page
    // answers. willClose() runs once as the window goes.
    bool shouldClose();
    void willClose();
    std::optional<TabRecord> restorableTab() const;

    // Replies: a guarded page call, and a short notice in the page.
    void callPage(const std::string& function, const std::string& args);
    void toast(const std::string& text);

    // Folder watching of review windows.
    void startWatching();
    void stopWatching();

    // State.
    bool hasContent() const { return hasContent_; }
    const std::string& pageKind() const { return pageKind_; }
    bool isReader() const { return pageKind_ == "reader"; }
    bool isGrid() const { return pageKind_ == "grid"; }
    bool isOpenSurface() const { return isOpenSurface_; }
    bool readerClosing() const { return readerClosing_; }
    const std::vector<std::string>& sourcePaths() const { return sourcePaths_; }
    const std::optional<std::string>& reviewMode() const { return reviewMode_; }
    const std::optional<std::string>& loadingFile() const { return loadingFile_; }
    long long loadGen() const { return loadGen_; }
    const std::string& expectedPdf() const { return expectedPdf_; }
    const std::optional<std::string>& lastViewState() const { return lastViewState_; }
    const std::optional<DocBinding>& binding() const { return binding_; }
    const std::optional<DocDisplayed>& displayed() const { return displayed_; }
    const std::vector<std::string>& identityNotes() const { return identityNotes_; }
    // The document identity verdict from the window's current inputs.
    IdentityVerdict identityVerdict() const;

  private:
    // A file link followed in the page: opened with its application (a reader asks first).
    void openLocalFile(const std::string& url);
    // Whether every file an operation names ("path", "paths") is one of the window's own.
    bool holdsNamedPaths(const std::string& url) const;
    // The operations the window answers itself (its review run, reader session and closing);
    // false for the others, which go to the feature modules.
    bool performOwn(const std::string& op, const std::string& url);
    void checkIdentityFor(const std::string& op);
    void displayedMessage(const std::string& body);

    void applyPendingViewRestore();
    void noteIdentity(const std::string& note);
    void startReaderPoll();
    void schedulePoll(long long generation);
    bool diskChangedSinceLoad() const;
    void refreshReaderPreservingView(const std::string& note);
    std::string shownFile() const;
    void showGrid(const std::string& path, const std::optional<std::string>& answer);
    void restartRun(const std::vector<std::string>& args);
    void setKind(const std::string& kind);

    int number_;
    std::string bridgeId_;
    std::unique_ptr<PageHost> page_;
    WindowServices& services_;
    AppActions& app_;
    const BridgeModuleSet& modules_;
    std::unique_ptr<Dialogs> dialogs_;

    bool hasContent_ = false;
    std::string pageKind_;
    bool isOpenSurface_ = false;
    std::vector<std::string> sourcePaths_;
    std::optional<std::string> reviewMode_;
    std::vector<std::string> setPaths_;
    std::optional<std::string> loadingFile_;
    std::unique_ptr<WatchHandle> loadWatch_;
    long long loadGen_ = 0;

    std::string expectedPdf_;
    std::string lastReaderURL_;
    std::string loadedStamp_;  // modification time and size of the shown file at load
    long long pollGen_ = 0;
    std::optional<std::string> lastViewState_;
    std::optional<std::string> pendingViewRestore_;
    bool readerClosing_ = false;
    bool flushAsked_ = false;
    bool closed_ = false;

    std::optional<std::string> gridJSON_;
    std::optional<std::string> editState_;

    std::unique_ptr<WatchHandle> watcher_;
    std::optional<DocBinding> binding_;
    std::optional<DocDisplayed> displayed_;
    std::vector<std::string> identityNotes_;
};

// Receives the page's script messages for a window without keeping the window alive: a
// message that arrives after the window has gone is dropped.
class WeakMessageProxy {
  public:
    explicit WeakMessageProxy(std::weak_ptr<ReviewWC> target) : target_(std::move(target)) {}
    void deliver(const std::string& body) const {
        if (auto wc = target_.lock()) wc->receiveScriptMessage(body);
    }

  private:
    std::weak_ptr<ReviewWC> target_;
};

}  // namespace cvl
