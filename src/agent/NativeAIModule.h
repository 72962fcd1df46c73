// The reader's on-device AI script messages: "translate", "ask" and "aistatus". Each valid
// request runs in the background and is answered through the page's CorvelloMacAI object with
// its own id; several may run at once.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class NativeAIModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override { return {}; }
    void handle(const BridgeRequest&) override {}
    std::vector<std::string> messages() const override { return {"translate", "ask", "aistatus"}; }
    void handleMessage(const ScriptMessage& message) override;
};

}  // namespace cvl
