#include "app/FocusHandBack.h"

#include <cstdio>

namespace cvl::FocusHandBack {

void noteRestore(State& state, double now, bool appActive, bool backgroundLaunch,
                 std::optional<FrontApp> front) {
    if (appActive || !backgroundLaunch) return;
    state.backgroundRestoreAt = now;
    state.restoreFrontApp = std::move(front);
}

Activation becameActive(State& state, double now, bool handBackOff) {
    Activation out;
    out.at = now;
    if (!state.backgroundRestoreAt) return out;
    const double elapsed = now - *state.backgroundRestoreAt;
    state.backgroundRestoreAt.reset();
    std::optional<FrontApp> front = std::move(state.restoreFrontApp);
    state.restoreFrontApp.reset();
    if (elapsed >= kIgnoreAfter) return out;

    char head[128];
    std::snprintf(head, sizeof head,
                  "open tabs: app became active %.2f s after a background restore began", elapsed);
    out.message = head;

    const bool soon = elapsed < kHandBackWithin;
    if (soon && front && !front->terminated && !front->hidden && !handBackOff) {
        out.tryHandBack = true;
        out.previous = *front;
        return out;
    }
    std::string reason;
    if (!soon)
        reason = "too long after the restore to be its doing";
    else if (!front || front->terminated)
        reason = "no app to hand back to";
    else if (front->hidden)
        reason = "the previous app is hidden";
    else
        reason = "hand-back off";
    out.line = out.message + "; kept (" + reason + ")";
    return out;
}

FollowUp afterClicks(const Activation& activation, const State& state, bool stillActive,
                     bool previousTerminated) {
    FollowUp out;
    if (state.choseUsAt && *state.choseUsAt >= activation.at) {
        out.line = activation.message + "; kept: a click or document open chose Corvello";
        return out;
    }
    if (!stillActive || previousTerminated) return out;
    const FrontApp& p = activation.previous;
    const std::string name = !p.name.empty()       ? p.name
                             : !p.bundleId.empty() ? p.bundleId
                                                   : "the previous app";
    out.line = activation.message + "; handed back to " + name;
    out.handBack = true;
    return out;
}

}  // namespace cvl::FocusHandBack
