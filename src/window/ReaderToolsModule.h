// Small reader tools answered by the window subsystem: the document's outline, the reading
// mode's diagnostics line and resetting the toolbar. (The signing-stop detector's rule-gap
// reports, "sagap", belong to SignModule.)
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class ReaderToolsModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override {
        return {"outline", "rmdiag", "resettoolbar"};
    }
    void handle(const BridgeRequest& request) override;
};

}  // namespace cvl
