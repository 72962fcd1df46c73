// "restoreversion" from the reader: the earlier copies of the shown document in a menu, a
// confirmation, then the chosen copy restored over the document (the current one banked
// first) and the reader reloaded at the same place.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class VersionsModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override { return {"restoreversion"}; }
    void handle(const BridgeRequest& request) override;
};

}  // namespace cvl
