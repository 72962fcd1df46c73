// The reader's command bar ("pagecmd"): a typed page command is read and previewed, and a
// confirmed preview is carried out. A merge first asks for the other PDFs with a chooser.
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class PageCommandModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override { return {"pagecmd"}; }
    void handle(const BridgeRequest& request) override;
};

}  // namespace cvl
