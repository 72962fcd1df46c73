// The settings panel's "checkupdates": an interactive check, as the menu's "Check for
// Updates…" runs it. Its dialogs come from the updater's own hooks.
#pragma once

#include <functional>
#include <memory>

#include "window/BridgeModule.h"

namespace cvl {

class ZKUpdate;

class UpdateModule : public BridgeModule {
  public:
    // `updater` gives the application's updater; null when updates are off for this launch.
    explicit UpdateModule(std::function<std::shared_ptr<ZKUpdate>()> updater = {});
    std::vector<std::string> operations() const override { return {"checkupdates"}; }
    void handle(const BridgeRequest& request) override;

  private:
    std::function<std::shared_ptr<ZKUpdate>()> updater_;
};

}  // namespace cvl
