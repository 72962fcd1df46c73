// What the application does on behalf of a feature: opening documents and pages, the desktop's
// facilities (browser, default application, file manager, clipboard), notices, the reader log
// and the list of open windows. The desktop application implements it; tests use a fake.
// Called on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "window/WindowHandle.h"

namespace cvl {

// Ends what it holds when destroyed (an idle inhibit, a watch).
class Holder {
  public:
    virtual ~Holder() = default;
};

// A document for the desktop's print dialog: the PDF as the reader shows it (annotations
// included) and the page to offer as "Current page".
struct PrintRequest {
    std::string title;  // the job's name: the document's file name
    std::string pdfBytes;
    int currentPage = 0;  // 0-based
};

struct PrintOutcome {
    bool printed = false;    // the job was handed to the printer, or its file was written
    bool cancelled = false;  // the user closed the dialog without printing
    std::string message;     // why it failed (when neither printed nor cancelled)
    std::string outputFile;  // the file "Print to File" wrote, when it did
};

class AppActions {
  public:
    virtual ~AppActions() = default;

    // Documents and pages.
    virtual void openReader(const std::string& path, int page) = 0;
    virtual void openReview(const std::vector<std::string>& paths,
                            const std::optional<std::string>& mode) = 0;
    // Opens a page in the key window's empty tab, else in a new tab (or window).
    virtual void openToolPage(const std::string& url, const std::string& pageKind,
                              const std::vector<std::string>& sourcePaths) = 0;
    virtual void recordRecent(const std::string& path) = 0;
    // Counts a usage event ("doc.compare"); nothing is recorded where no counters are kept.
    virtual void recordUsage(const std::string& event) { (void)event; }

    // The desktop. An outside address (web, mailto:, ...) goes to the desktop's handler for its
    // scheme: the browser, the mail client.
    virtual void openInBrowser(const std::string& url) = 0;
    virtual void openWithDefaultApp(const std::string& path) = 0;
    // Shows the items selected in the file manager (all in one folder, or each in its own).
    virtual void revealInFileManager(const std::vector<std::string>& paths) = 0;
    virtual void setClipboardText(const std::string& text) = 0;
    // Puts files on the clipboard as a URI list, so a file manager can paste them.
    virtual void setClipboardFiles(const std::vector<std::string>& paths) = 0;
    // Keeps the display awake for `reason` while the holder lives.
    virtual std::unique_ptr<Holder> inhibitIdle(const std::string& reason) = 0;
    // The print dialog for the document, attached to the key window; `done` runs once on the
    // main queue. The desktop prints through GtkPrinting.
    virtual void printDocument(const PrintRequest& /*request*/,
                               std::function<void(PrintOutcome)> done) {
        PrintOutcome outcome;
        outcome.message = "Printing is not available in this build.";
        done(outcome);
    }

    // The application.
    virtual void showNotice(const std::string& id, const std::string& title,
                            const std::string& text) = 0;
    virtual void readerLog(const std::string& line) = 0;
    // A setting changed behind the settings panel's back: open panels show it again.
    virtual void settingsChanged() = 0;
    virtual std::string brandName() = 0;
    virtual bool darkScheme() = 0;

    // Open document windows, in opening order, and one of them by bridge identity.
    virtual std::vector<WindowSnapshot> windows() = 0;
    virtual std::optional<WindowHandle> window(const std::string& bridgeId) = 0;
};

}  // namespace cvl
