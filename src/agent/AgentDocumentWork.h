// The bridge's document work on real files: page counts, annotation export and combining
// images through the PDF layer, page commands through the command runner.
#pragma once

#include <memory>

#include "agent/AgentBridgeHost.h"

namespace cvl {

std::shared_ptr<AgentPageWork> makeAgentDocumentWork();

}  // namespace cvl
