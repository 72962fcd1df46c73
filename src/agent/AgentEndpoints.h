// The agent bridge's endpoints: each authorized request is routed by its path, its work done
// on the main queue (windows and pages) or the global pool (files), and answered once.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "agent/AgentBridgeHost.h"
#include "agent/AgentHttp.h"

namespace cvl::AgentEndpoints {

struct Context {
    std::weak_ptr<AgentBridgeHost> host;
    std::shared_ptr<AgentPageWork> work;
    std::string app;
    std::string version;
    std::string build;
};

// Receives the status and the JSON body; may be called from any thread, exactly once.
using Respond = std::function<void(int status, const std::string& body)>;

void handle(const Context& context, const AgentHttp::Request& request, Respond respond);

// The signing assistant's wait in seconds: 30 when empty, else clamped to 1...120.
int signAssistWait(const std::string& wait);
// The page-turn script for a 1-based page.
std::string gotoScript(long long page);
// The signing assistant script with its time budget.
std::string signAssistScript(int waitSeconds);

}  // namespace cvl::AgentEndpoints
