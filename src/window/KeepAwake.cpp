#include "window/KeepAwake.h"

#include "platform/Dispatch.h"

namespace cvl {

namespace {
std::string keyOf(const WindowSnapshot& w) {
    return w.bridgeId + "#" + std::to_string(w.number);
}
}  // namespace

KeepAwakeModule::KeepAwakeModule() : holds_(std::make_shared<std::map<std::string, Hold>>()) {}

void KeepAwakeModule::handle(const BridgeRequest& request) {
    sweep();
    const std::string key = keyOf(request.window);
    if (!request.flag("on")) {
        holds_->erase(key);
        return;
    }
    auto& hold = (*holds_)[key];
    hold.page = request.page;
    if (!hold.holder) hold.holder = request.app.inhibitIdle(kReason);
    scheduleSweep();
}

size_t KeepAwakeModule::holding() const {
    return holds_->size();
}

void KeepAwakeModule::sweep() {
    for (auto it = holds_->begin(); it != holds_->end();)
        it = it->second.page.alive() ? std::next(it) : holds_->erase(it);
}

// While something is held, windows that close without turning it off are looked for now and
// then: their hold ends with them.
void KeepAwakeModule::scheduleSweep() {
    if (sweepScheduled_ || holds_->empty()) return;
    sweepScheduled_ = true;
    std::weak_ptr<std::map<std::string, Hold>> weak = holds_;
    Dispatch::main().asyncAfter(Dispatch::Millis(kSweepMillis), [this, weak] {
        auto holds = weak.lock();
        if (!holds) return;  // the module has gone
        sweepScheduled_ = false;
        sweep();
        scheduleSweep();
    });
}

}  // namespace cvl
