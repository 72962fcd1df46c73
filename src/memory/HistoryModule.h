// The File History page's operations on the history store: forget an item, toggle its
// favourite or pin, clear the pins, and draw the covers of the items shown.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class HistoryStore;

class HistoryModule : public BridgeModule {
  public:
    explicit HistoryModule(HistoryStore& store) : store_(store) {}
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

  private:
    HistoryStore& store_;
};

}  // namespace cvl
