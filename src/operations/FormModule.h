// The form operations of a reader: "forminfo" (the form summary and the signed signature fields
// of the shown document) and "fillform" (save the filled form the page keeps, in place, after
// the overwrite guard and the shared confirmation).
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class FormModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override { return {"forminfo", "fillform"}; }
    void handle(const BridgeRequest& request) override;

  private:
    void formInfo(const BridgeRequest& request);
    void fillForm(const BridgeRequest& request);
};

}  // namespace cvl
