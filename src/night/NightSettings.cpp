#include "night/NightSettings.h"

#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "night/NightState.h"

namespace cvl::NightSettings {

CvlNight::Config load(const CvlTimeZone& tz) {
    nlohmann::json settings = loadConfig();
    bool filled = false;
    CvlNight::Config config = CvlNight::readConfig(settings, tz, &filled);
    if (filled) saveConfig(settings);
    return config;
}

void setNightMode(const std::string& mode) {
    nlohmann::json settings = loadConfig();
    NightState::setNightMode(settings, mode);
    saveConfig(settings);
}

void noteManualChoice(Moment now) {
    nlohmann::json settings = loadConfig();
    if (NightState::noteManualChoice(settings, now)) saveConfig(settings);
}

std::string panelLabel(Moment now, const CvlTimeZone& tz) {
    std::string label = CvlNight::windowLabel(now, load(tz), tz);
    if (auto note = NightState::baseAppearanceNote(loadConfig())) label += " " + *note;
    return label;
}

}  // namespace cvl::NightSettings
