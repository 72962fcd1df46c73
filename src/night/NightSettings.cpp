#include "night/NightSettings.h"

#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "night/NightState.h"

namespace cvl::NightSettings {

CvlNight::Config load(const CvlTimeZone& tz) {
    nlohmann::json settings = loadConfig();
    bool filled = false;
    CvlNight::Config config = CvlNight::readConfig(settings, tz, &filled);
    // The place found is kept for next time; when it cannot be written it is found again then.
    if (filled) (void)saveConfig(settings);
    return config;
}

Status setNightMode(const std::string& mode) {
    nlohmann::json settings = loadConfig();
    NightState::setNightMode(settings, mode);
    return saveConfig(settings);
}

Status noteManualChoice(Moment now) {
    nlohmann::json settings = loadConfig();
    if (NightState::noteManualChoice(settings, now)) return saveConfig(settings);
    return success();
}

std::string panelLabel(Moment now, const CvlTimeZone& tz) {
    std::string label = CvlNight::windowLabel(now, load(tz), tz);
    if (auto note = NightState::baseAppearanceNote(loadConfig())) label += " " + *note;
    return label;
}

}  // namespace cvl::NightSettings
