#include "night/NightState.h"

#include <nlohmann/json.hpp>

namespace cvl::NightState {

namespace {

std::string stringAt(const nlohmann::json& s, const char* key, const char* fallback) {
    if (!s.is_object()) return fallback;
    auto it = s.find(key);
    return it != s.end() && it->is_string() ? it->get<std::string>() : std::string(fallback);
}

}  // namespace

void setNightMode(nlohmann::json& settings, const std::string& mode) {
    if (!settings.is_object()) settings = nlohmann::json::object();
    settings["night_mode"] = mode;
    settings["night_set_at"] = 0;
    if (mode == "auto" && stringAt(settings, "appearance", "auto") == "dark") {
        settings["appearance"] = "auto";
        settings["night_base_released"] = true;
    }
}

bool noteManualChoice(nlohmann::json& settings, Moment now) {
    if (CvlNight::configFromSettings(settings).mode == "off") return false;
    settings["night_set_at"] = now;
    return true;
}

std::optional<std::string> baseAppearanceNote(const nlohmann::json& settings) {
    const std::string appearance = stringAt(settings, "appearance", "auto");
    if (CvlNight::configFromSettings(settings).mode == "auto" && appearance == "dark")
        return std::string(
            "Appearance is set to Dark, so mornings stay dark. Set Appearance to Light or Follow "
            "System and the schedule can bring the day back.");
    bool released = false;
    if (settings.is_object())
        if (auto it = settings.find("night_base_released");
            it != settings.end() && it->is_boolean())
            released = it->get<bool>();
    if (released && appearance != "dark")
        return std::string(
            "Appearance moved from Dark to Follow System, so mornings can come back.");
    return std::nullopt;
}

std::string resolvedScheme(bool nightNow, const std::string& appearance, bool systemIsDark) {
    if (nightNow) return "dark";
    if (appearance == "dark") return "dark";
    if (appearance == "auto") return systemIsDark ? "dark" : "light";
    return "light";
}

std::string resolvedScheme(const nlohmann::json& settings, Moment now, bool systemIsDark,
                           const CvlTimeZone& tz) {
    auto config = CvlNight::configFromSettings(settings);
    return resolvedScheme(CvlNight::isNightNow(now, config, tz),
                          stringAt(settings, "appearance", "auto"), systemIsDark);
}

std::optional<std::string> handOverMessage(const std::string& mode,
                                           const std::optional<std::string>& lastAnnounced,
                                           const std::string& scheme) {
    if (mode == "off" || !lastAnnounced || *lastAnnounced == scheme) return std::nullopt;
    if (scheme == "dark")
        return std::string(
            "Night Mode is on: your schedule dimmed the app, not the whole desktop. Settings "
            "changes it.");
    return std::string("Night Mode is off: your schedule brought the daylight look back.");
}

std::optional<Moment> flipTimerMoment(Moment now, const CvlNight::Config& config,
                                      const CvlTimeZone& tz) {
    const bool arm = config.mode == "auto" || (config.mode == "on" && config.setAt > 0);
    if (!arm) return std::nullopt;
    auto next = CvlNight::nextFlip(now, config, tz);
    if (!next) return std::nullopt;
    if (*next <= now) return now + 60;
    return next;
}

}  // namespace cvl::NightState
