// Settings asked for by pages: the settings panel's setters and its links to the other panels,
// and the few settings that document pages store themselves (the folder view, the pairing
// code), the light/dark toggle and the settings panel itself.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class AppControl;

class SettingsModule : public BridgeModule {
  public:
    explicit SettingsModule(AppControl& control) : control_(control) {}
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

  private:
    AppControl& control_;
};

}  // namespace cvl
