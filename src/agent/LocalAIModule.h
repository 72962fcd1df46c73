// The engine's offline AI for pages: "ai" requests of the Ask window (summaries, key terms,
// passages that answer a question, status), the reader's AI table of contents ("aitoc"), and
// the welcome page's "ask" (pick a document to ask about; "read" is an opener's).
#pragma once

#include <set>
#include <string>

#include "window/BridgeModule.h"

namespace cvl {

class LocalAIModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override { return {"ai", "aitoc", "ask"}; }
    void handle(const BridgeRequest& request) override;

    // Opens the Ask window about a document or folder, asking `question` at once when given.
    static void openAsk(AppActions& app, const std::string& path, const std::string& question);

  private:
    void answerPage(const BridgeRequest& request);
    void tableOfContents(const BridgeRequest& request);
    std::set<std::string> tocRunning_;  // windows with a table of contents on the way
};

}  // namespace cvl
