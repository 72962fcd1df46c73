// Reading mode's "keep the screen awake" ("keepawake" with "on" = "1" or not): one idle
// inhibit per window with the reason "Corvello Reading Mode", released when the page turns it
// off or its window goes away.
#pragma once

#include <map>
#include <memory>

#include "window/BridgeModule.h"

namespace cvl {

class KeepAwakeModule : public BridgeModule {
  public:
    static constexpr const char* kReason = "Corvello Reading Mode";
    // How often holds of windows that have gone are looked for.
    static constexpr int kSweepMillis = 15000;

    KeepAwakeModule();
    std::vector<std::string> operations() const override { return {"keepawake"}; }
    void handle(const BridgeRequest& request) override;
    // Windows holding the screen awake now.
    size_t holding() const;

  private:
    struct Hold {
        WindowHandle page;
        std::unique_ptr<Holder> holder;
    };
    void sweep();
    void scheduleSweep();
    std::shared_ptr<std::map<std::string, Hold>> holds_;
    bool sweepScheduled_ = false;
};

}  // namespace cvl
