// Small reader tools answered by the window subsystem: the document's outline, the reading
// mode's diagnostics line, resetting the toolbar, and the signing-stop detector's rule-gap
// reports ("sagap" messages).
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class ReaderToolsModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override {
        return {"outline", "rmdiag", "resettoolbar"};
    }
    void handle(const BridgeRequest& request) override;
    std::vector<std::string> messages() const override { return {"sagap"}; }
    void handleMessage(const ScriptMessage& message) override;
};

}  // namespace cvl
