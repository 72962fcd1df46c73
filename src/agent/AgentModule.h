// The settings panel's connector buttons: connecting or disconnecting the desktop agent's
// connector entry. The panel shows the new state; a failure becomes a notice.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class AgentModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override { return {"mcpconnect", "mcpdisconnect"}; }
    void handle(const BridgeRequest& request) override;
};

}  // namespace cvl
