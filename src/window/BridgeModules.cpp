#include "window/BridgeModules.h"

#include "platform/SysLog.h"
#include "window/BridgeDispatch.h"

namespace cvl {

std::optional<std::string> BridgeRequest::arg(const std::string& key) const {
    return BridgeDispatch::arg(url, key);
}

std::optional<std::string> BridgeRequest::path() const {
    return BridgeDispatch::pathArg(url);
}

std::vector<std::string> BridgeRequest::paths() const {
    return BridgeDispatch::pathsArg(url);
}

bool BridgeRequest::flag(const std::string& key) const {
    return BridgeDispatch::flagArg(url, key);
}

void BridgeModuleSet::add(std::unique_ptr<BridgeModule> module) {
    BridgeModule* m = module.get();
    for (const auto& op : m->operations())
        if (!operations_.emplace(op, m).second) {
            cvlLog("bridge: operation %s has two modules; the first one answers", op.c_str());
            clashes_.push_back("op:" + op);
        }
    for (const auto& action : m->messages())
        if (!messages_.emplace(action, m).second) {
            cvlLog("bridge: message %s has two modules; the first one answers", action.c_str());
            clashes_.push_back("message:" + action);
        }
    modules_.push_back(std::move(module));
}

BridgeModule* BridgeModuleSet::forOperation(const std::string& op) const {
    auto it = operations_.find(op);
    return it == operations_.end() ? nullptr : it->second;
}

BridgeModule* BridgeModuleSet::forMessage(const std::string& action) const {
    auto it = messages_.find(action);
    return it == messages_.end() ? nullptr : it->second;
}

}  // namespace cvl
