// Folder organising, host side: the organize page asks for its start data, a plan, the
// application of the approved items and an undo. The engine's organizer script does the
// work; the host lists the folder, starts the script with fixed arguments, relays its
// progress lines and hands its JSON answers to the page unchanged. It keeps no state between
// operations: the plan lives in the page, the approval in window.__cvlOrgApprove and the undo
// manifest in the script's apply answer.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "window/AppActions.h"
#include "window/BridgeModule.h"
#include "window/Dialogs.h"

namespace cvl {

namespace Organize {

inline constexpr const char* kScript = "corvello_organize.py";
inline constexpr const char* kOpenError = "That folder could not be opened.";
inline constexpr const char* kCancelled = "Nothing was changed.";

// The names directly inside the folder that do not begin with "." and whose lower-cased
// extension is pdf, doc, docx, rtf, txt, md, markdown, odt, html or htm, sorted by plain
// comparison; empty when the folder cannot be listed.
std::vector<std::string> organizableDocuments(const std::string& folder);

// The organize page's start data: {folder, ver, name, files}, or {folder, ver, err} when the
// folder is empty, missing or not a folder.
std::string initPayload(const std::string& folder, const std::string& version);

struct Progress {
    std::string line;
    long long done = 0;
    long long total = 0;
};
// A progress text without its leading "· ", with the first "D/T" in it as done and total
// (0 and `count` without one, or when a part is not an integer).
Progress parseProgress(const std::string& text, long long count);

// The "n" of organizeapply: a decimal integer with an optional sign; anything else is 0.
long long parseCount(const std::optional<std::string>& n);

// The confirmation before applying a plan that touches `n` files in `folder`.
ConfirmSheet applySheet(const std::string& folder, long long n);

// The organize page's address for the folder: organize.html?folder=…&theme=light|dark.
std::string pageURL(const std::string& folder, bool dark);

// Opens the organize page for a folder: recent items, the usage event, then a tool page
// (the key window's empty tab, else a new tab or window).
void openOrganizeFolder(AppActions& app, const std::string& folder);
// Asks for a folder first (the menu command and a bare `organize`).
void openOrganize(Dialogs& dialogs, AppActions& app);

// Cuts the script's error output into lines as chunks arrive (from the reader's thread).
class LineSplitter {
  public:
    std::vector<std::string> feed(const std::string& chunk);
    // What is left after the last line break; none when nothing is.
    std::optional<std::string> rest();

  private:
    std::mutex mutex_;
    std::string pending_;
};

}  // namespace Organize

class OrganizeModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

  private:
    void ready(const BridgeRequest& request);
    void plan(const BridgeRequest& request);
    void apply(const BridgeRequest& request);
    void undo(const BridgeRequest& request);
};

}  // namespace cvl
