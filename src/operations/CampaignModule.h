// The signature campaign page's data ("campaignready", "campaignrefresh"): the campaign tool
// of the engine runs on the window's campaign file ("status" or "refresh") and its rollup
// reaches the page as cvlCampaignInit; every failure reaches it as an "error". Without the
// tool in the engine the page is told that campaigns are not available.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

#include "window/BridgeModule.h"

namespace cvl {

class CampaignModule : public BridgeModule {
  public:
    std::vector<std::string> operations() const override {
        return {"campaignready", "campaignrefresh"};
    }
    void handle(const BridgeRequest& request) override;
};

namespace Campaigns {
inline constexpr const char* kScript = "corvello_campaigns.py";
inline constexpr const char* kUnopenable = "That campaign file could not be opened.";
inline constexpr const char* kNoRollup = "The campaign engine returned no rollup.";
inline constexpr const char* kNoAnswer = "The campaign engine did not answer.";
inline constexpr const char* kUnavailable = "Signature campaigns are not available in this build.";
// The page's object for the tool's answer text.
nlohmann::json reply(const std::string& version, const std::string& file,
                     const std::string& answer);
}  // namespace Campaigns

}  // namespace cvl
