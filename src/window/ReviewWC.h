// A document window: one page (review, reader, tool page or one of the host's pages), the
// review run that feeds it, the reader session, and the bridge through which the page asks
// for work. Toolkit-free: the page is reached through PageHost, the rest of the program
// through WindowServices.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "memory/DocIdentity.h"
#include "window/BridgeDispatch.h"
#include "window/PageHost.h"
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

class ReviewWC : public std::enable_shared_from_this<ReviewWC> {
  public:
    // Scripts the host evaluates in a reader: its view state, and finishing pending work.
    static constexpr const char* kCaptureViewScript =
        "(function(){try{return JSON.stringify(window.__cvlCaptureView&&window.__cvlCaptureView()"
        ")}catch(e){return null}})()";
    static constexpr const char* kFlushScript =
        "(function(){try{return (window.__cvlFlush&&window.__cvlFlush())?1:0}catch(e){return "
        "0}})()";

    ReviewWC(int number, std::unique_ptr<PageHost> page, WindowServices& services);
    ~ReviewWC();
    ReviewWC(const ReviewWC&) = delete;
    ReviewWC& operator=(const ReviewWC&) = delete;

    int number() const { return number_; }
    // The window's identity for the agent bridge.
    const std::string& bridgeId() const { return bridgeId_; }
    PageHost& page() { return *page_; }
    const PageHost& page() const { return *page_; }

    // Every navigation of the page.
    NavigationPolicy decidePolicy(const NavigationRequest& request);
    // A "corvello" script message; `body` is its JSON text.
    void receiveScriptMessage(const std::string& body);

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
    // Loads a reader address: a new generation, the identity binding, read access to home.
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

    // Shows an arbitrary page (welcome, panels, tool pages) without a review run.
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
    bool isReader() const { return isReader_; }
    bool isGrid() const { return isGrid_; }
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
    void perform(const std::string& op, const std::string& url);
    bool performReview(const std::string& op, const std::string& url);
    bool performOpening(const std::string& op, const std::string& url);
    bool performReaderTool(const std::string& op, const std::string& url);
    bool performHistory(const std::string& op, const std::string& url);
    void checkIdentityFor(const std::string& op);

    void applyPendingViewRestore();
    void noteIdentity(const std::string& note);
    void startReaderPoll();
    void schedulePoll(long long generation);
    bool diskChangedSinceLoad() const;
    void refreshReaderPreservingView();
    std::string shownFile() const;
    void showGrid(const std::string& path, const std::optional<std::string>& answer);
    // Wraps a reply so that it reaches this window's page on the main queue, or nowhere
    // when the window has gone.
    JsonReply replyTo(const std::string& function);

    int number_;
    std::string bridgeId_;
    std::unique_ptr<PageHost> page_;
    WindowServices& services_;

    bool hasContent_ = false;
    bool isReader_ = false;
    bool isGrid_ = false;
    bool isOpenSurface_ = false;
    bool isCompareIntake_ = false;
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

}  // namespace cvl

namespace cvl {

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
