// The application's night state as functions: the mode setter's changes to the settings,
// the resolved colour scheme, the page calls that apply it, the hand-over announcement and
// when the one-shot flip timer should fire next. The desktop host performs the effects.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "night/CvlNight.h"

namespace cvl::NightState {

// Sets night_mode and clears night_set_at; switching to "auto" while the appearance is
// "dark" moves it to "auto" and records night_base_released. The caller saves and applies.
void setNightMode(nlohmann::json& settings, const std::string& mode);

// A hand-made light/dark choice while the schedule is not off stamps night_set_at with
// `now`. Returns whether the settings changed.
bool noteManualChoice(nlohmann::json& settings, Moment now);

// The settings panel's note on the base appearance, or none.
std::optional<std::string> baseAppearanceNote(const nlohmann::json& settings);

// "dark" or "light": night wins; otherwise the "appearance" setting, "auto" following the
// system's own look.
std::string resolvedScheme(bool nightNow, const std::string& appearance, bool systemIsDark);
// The same, reading the night state and appearance from the settings.
std::string resolvedScheme(const nlohmann::json& settings, Moment now, bool systemIsDark,
                           const CvlTimeZone& tz = CvlTimeZone::system());

// The toast announcing a hand-over to `scheme`, or none when nothing should be said:
// mode off, nothing announced before, or the scheme did not change.
std::optional<std::string> handOverMessage(const std::string& mode,
                                           const std::optional<std::string>& lastAnnounced,
                                           const std::string& scheme);

// When the flip timer should fire, or none when it should stay unarmed: only "auto" mode,
// or "on" with a hand-made choice to end, arms it; a flip not after `now` fires a minute on.
std::optional<Moment> flipTimerMoment(Moment now, const CvlNight::Config& config,
                                      const CvlTimeZone& tz = CvlTimeZone::system());

}  // namespace cvl::NightState
