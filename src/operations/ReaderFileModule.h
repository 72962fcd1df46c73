// The file rows of the reader and the document pages: information ("getinfo"), rename
// ("readerrename", failures to __cvlRenameFail), the file on the clipboard ("copyfile"),
// duplicate ("duplicatefile"), compress ("compressfile", the compress page command),
// "reveal", mail with the file attached ("share") and "openinword". Paths from a page are
// taken only when they belong to the asking window's documents.
#pragma once

#include <optional>
#include <string>

#include "window/BridgeModule.h"

namespace cvl {

class ReaderFileModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

  private:
    void info(const BridgeRequest& request, const std::string& path);
    void rename(const BridgeRequest& request);
    void duplicate(const BridgeRequest& request, const std::string& path);
    void compress(const BridgeRequest& request, const std::string& path);
    void share(const BridgeRequest& request, const std::string& path);
    void openInWordProcessor(const BridgeRequest& request);
};

namespace ReaderFiles {
// The document an operation acts on: the page's `path` when it is one of the window's
// documents (or lies in a folder the window reviews), else the document the window stands for;
// none when there is no such file.
std::optional<std::string> target(const WindowSnapshot& window,
                                  const std::optional<std::string>& path);

// What "Open in Word Processor" runs for a document, decided from the desktop's default
// application for its type and the programs at hand.
struct WordProcessorChoice {
    enum class How { defaultApp, program, none } how = How::none;
    std::string program;            // with How::program
    std::vector<std::string> args;  // with How::program
    std::string message;            // with How::none
};
WordProcessorChoice wordProcessorFor(const std::string& path,
                                     const std::optional<std::string>& defaultDesktopId,
                                     const std::optional<std::string>& libreOffice);
}  // namespace ReaderFiles

}  // namespace cvl
