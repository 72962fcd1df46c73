// Search from pages: "search" across the folders of a review through the index, and
// "readersearch" within the document a reader shows.
#pragma once

#include <memory>

#include "window/BridgeModule.h"

namespace cvl {

class CVSearchIndex;

class SearchModule : public BridgeModule {
  public:
    explicit SearchModule(std::shared_ptr<CVSearchIndex> index) : index_(std::move(index)) {}
    std::vector<std::string> operations() const override { return {"search", "readersearch"}; }
    void handle(const BridgeRequest& request) override;

  private:
    std::shared_ptr<CVSearchIndex> index_;
};

}  // namespace cvl
