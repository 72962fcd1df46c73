#include "operations/CampaignModule.h"

#include <nlohmann/json.hpp>

#include "app/EngineLocator.h"
#include "app/EngineRuns.h"
#include "app/Version.h"
#include "platform/FileIO.h"

namespace cvl {

using nlohmann::json;

namespace Campaigns {

json reply(const std::string& version, const std::string& file, const std::string& answer) {
    json parsed = json::parse(answer, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return {{"ver", version}, {"error", kNoAnswer}};
    if (auto e = parsed.find("error");
        e != parsed.end() && e->is_string() && !e->get<std::string>().empty())
        return {{"ver", version}, {"error", *e}};
    if (auto r = parsed.find("rollup"); r != parsed.end())
        return {{"ver", version}, {"file", file}, {"rollup", *r}};
    return {{"ver", version}, {"error", kNoRollup}};
}

}  // namespace Campaigns

void CampaignModule::handle(const BridgeRequest& request) {
    WindowHandle page = request.page;
    const std::string version = kVersion();
    auto send = [page](const json& j) {
        page.call("cvlCampaignInit", j.dump(-1, ' ', false, json::error_handler_t::replace));
    };
    const std::string file = request.window.original();
    if (file.empty() || !pathExists(file))
        return send({{"ver", version}, {"error", Campaigns::kUnopenable}});
    if (!isRegularFile(EngineLocator::launcherSibling(Campaigns::kScript)))
        return send({{"ver", version}, {"error", Campaigns::kUnavailable}});
    const std::string step = request.op == "campaignready" ? "status" : "refresh";
    EngineRuns::runOrganize({step, "--file", file}, Campaigns::kScript, nullptr, {},
                            [send, version, file](std::string answer) {
                                send(Campaigns::reply(version, file, answer));
                            });
}

}  // namespace cvl
