// The draft timeline page: "drafttimeline" picks the drafts, "timelinego" opens the page for
// documents (in date order), "timelineready" sends the drafts and the differences between
// neighbours (cvlTimeline), "timelinereorder" recomputes them for the order the user gave
// (cvlTimelineDiffs).
#pragma once

#include "window/BridgeModule.h"

namespace cvl {

class TimelineModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override;
    void handle(const BridgeRequest& request) override;

  private:
    void go(const BridgeRequest& request, std::vector<std::string> paths);
    void compute(const BridgeRequest& request, std::vector<std::string> paths, bool meta,
                 const char* reply);
};

}  // namespace cvl
