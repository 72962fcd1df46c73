// The default-viewer rows: "defaultpdf" offers (cvlOfferDefault) when the prompt is due;
// "setdefaultpdf", "setdefaultall" and "setdefaultgroup" make Corvello the default
// (__cvlDefaultBusy while xdg-mime works); "defaultsnooze"/"defaultpdfdismiss" ask again later;
// "defaultnever"/"defaultneverundo" set or clear the never flag.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class DefaultViewerModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

  private:
    void offer(const BridgeRequest& request);
    void become(const BridgeRequest& request, std::vector<std::string> types, std::string what);
};

}  // namespace cvl
