// The application's openers: documents and folders asked for by pages (by path or through a
// chooser), the welcome and File History pages, the desktop's browser, default application
// and file manager, the page list of a file, pinned libraries, and the messages that open an
// address or copy a share link.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class HistoryStore;

class OpenModule : public BridgeModule {
  public:
    explicit OpenModule(HistoryStore& history) : history_(history) {}
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;
    std::vector<std::string> messages() const override { return {"openExternal", "clipboard"}; }
    void handleMessage(const ScriptMessage& message) override;

  private:
    HistoryStore& history_;
};

// Folders open as a review, documents in the reader.
void openItem(AppActions& app, const std::string& path);
// A folder chooser whose choice opens as a review in `mode`; a document chooser whose choice
// opens in the reader. The application outlives both.
void chooseFolderToOpen(Dialogs& dialogs, AppActions& app, const std::optional<std::string>& mode);
void chooseDocumentToOpen(Dialogs& dialogs, AppActions& app);

}  // namespace cvl
