// Visual compare and the compare intake page: the bridge operations "compare", "visualdiff",
// "comparepick" and "comparego", and the flows the menus and the workbench call.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "window/BridgeModule.h"

namespace cvl {

namespace CompareFlows {

// Records "doc.compare", adds both documents to the recent items, writes the visual compare
// page and shows it in the key window when that is empty, else in a new tab or window. False
// (and nothing shown) when the page cannot be written.
bool openVisualCompareDocs(AppActions& app, const std::string& a, const std::string& b);

// The menu command "Compare Documents…": a chooser for two PDFs; with one chosen, a second
// chooser asks for the other. Cancelling stops.
void pickVisualCompare(Dialogs& dialogs, AppActions& app);

// Two documents handed over together (the workbench): two PDFs are compared visually, any
// other pair by the engine's text comparison (a review in the mode "compare").
void handleWorkbenchCompare(AppActions& app, const std::vector<std::string>& paths);

// Shows the intake page, where the user picks the two documents; false when it cannot be
// written.
bool openCompareIntake(AppActions& app);

}  // namespace CompareFlows

class CompareModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

  private:
    void visualDiff(const BridgeRequest& request);
    void pick(const BridgeRequest& request);
    void go(const BridgeRequest& request);
    void fill(const BridgeRequest& request, const std::string& side, const std::string& path);

    // The documents the host put into each intake page's slots, by window: the page may
    // only compare what it was given.
    std::map<std::string, std::pair<std::string, std::string>> slots_;
};

}  // namespace cvl
