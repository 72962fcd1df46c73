// The Bates page's bridge operations: "bates" opens the page for a folder, "batesready" sends the
// page the folder's counts and the numbering so far, "batesapply" confirms and runs the stamping,
// reporting progress and the result to the page.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "window/BridgeModule.h"

namespace cvl {

struct BatesRunResult;

class BatesModule : public BridgeModule {
  public:
    BatesModule();
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

    // The page's result object (cvlBatesDone) for a run result.
    static std::string doneJson(const BatesRunResult& result);

  private:
    void open(const BridgeRequest& request);
    void ready(const BridgeRequest& request);
    void apply(const BridgeRequest& request);

    // Output folders with a run in progress: a second run into one is refused.
    struct Running;
    std::shared_ptr<Running> running_;
};

}  // namespace cvl
