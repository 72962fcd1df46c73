// The bridge's document work on real files: page counts, annotation export and combining
// images through the PDF layer, page commands through the command runner.
#pragma once

#include <memory>

#include "agent/AgentBridgeHost.h"

namespace cvl {

std::shared_ptr<AgentPageWork> makeAgentDocumentWork();

// "<folder>/<stem> <suffix>.<ext>", then "<stem> <suffix> 2.<ext>", ...: the first that does
// not exist yet.
std::string agentNewFileBeside(const std::string& path, const std::string& suffix,
                               const std::string& ext);

}  // namespace cvl
