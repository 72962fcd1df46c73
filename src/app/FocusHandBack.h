// Giving the focus back after a background restore. Reopening windows during a background
// relaunch (after an update) can bring the application to the front although the user was
// working elsewhere; the first activation shortly after such a restore hands the focus back
// to the application that was in front, unless the user chose this one meanwhile. The host
// supplies the clock, the front application and the effects; these functions decide and
// word the log lines.
#pragma once

#include <optional>
#include <string>

namespace cvl::FocusHandBack {

// The application that was in front when the restore began.
struct FrontApp {
    std::string name;      // its display name, may be empty
    std::string bundleId;  // its identifier, may be empty
    bool terminated = false;
    bool hidden = false;
};

struct State {
    std::optional<double> backgroundRestoreAt;  // seconds since 1970
    std::optional<FrontApp> restoreFrontApp;
    std::optional<double> choseUsAt;  // the user last chose this application
};

// Activations this long after the restore began are not the restore's doing.
inline constexpr double kIgnoreAfter = 20.0;
// Hand-back is tried only this soon after the restore began.
inline constexpr double kHandBackWithin = 3.0;
// How long clicks are watched before the focus is handed back.
inline constexpr double kClickWindow = 0.25;

// A restore begins at `now`: when the application is not active and this is a background
// launch, remember the moment and the front application (when it is another application).
void noteRestore(State& state, double now, bool appActive, bool backgroundLaunch,
                 std::optional<FrontApp> front);

// A click, a document handed over or a reopen from the desktop: the user chose us.
inline void noteChoice(State& state, double now) {
    state.choseUsAt = now;
}

struct Activation {
    std::optional<std::string> line;  // written to the reader log now
    bool tryHandBack = false;         // watch clicks for kClickWindow, then call afterClicks
    std::string message;              // the line's beginning, for afterClicks
    double at = 0;                    // the activation moment
    FrontApp previous;                // the application to hand back to
};

// The application became active at `now`. `handBackOff` is the CVL_NO_FOCUS_HANDBACK switch.
// Takes the restore moment (a later activation does nothing) and the front application.
Activation becameActive(State& state, double now, bool handBackOff);

struct FollowUp {
    std::optional<std::string> line;
    bool handBack = false;  // yield the activation to the previous application
};

// kClickWindow after a tried hand-back: kept when the user chose us since the activation;
// nothing when we are no longer active or the previous application has gone; else handed back.
FollowUp afterClicks(const Activation& activation, const State& state, bool stillActive,
                     bool previousTerminated);

}  // namespace cvl::FocusHandBack
