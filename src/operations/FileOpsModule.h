// The browsing pages' file operations: move, movepick, newfolder, trash, rename and duplicate
// answer with one outcome object through the page's fileOpDone; trashfile asks first, then
// moves the open document to the Trash and closes its window. The file-system work runs on
// the global queue. Only the asking window's own documents (its files, and what lies in its
// folders) are acted on; anything else is reported failed.
#pragma once

#include <string>
#include <vector>

#include "window/BridgeModule.h"

namespace cvl {

namespace FileOpsText {
// "Choose a folder to move 3 items into"
std::string movePickMessage(std::size_t count);
}  // namespace FileOpsText

class FileOpsModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

    // Whether `path` is one of the window's documents or lies inside one of its folders.
    static bool ownedBy(const WindowSnapshot& window, const std::string& path);

  private:
    void move(const BridgeRequest& request);
    void movePick(const BridgeRequest& request);
    void newFolder(const BridgeRequest& request);
    void trash(const BridgeRequest& request);
    void rename(const BridgeRequest& request);
    void duplicate(const BridgeRequest& request);
    void trashFile(const BridgeRequest& request);
};

}  // namespace cvl
