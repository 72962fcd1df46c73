// The night schedule on the settings file: reading the configuration (saving the place the
// first time it is found) and the setters the menus and the theme toggle call.
#pragma once

#include <string>

#include "night/CvlNight.h"
#include "platform/Result.h"

namespace cvl::NightSettings {

// The night configuration from config.json, through ensurePlace; coordinates it filled in
// are written back.
CvlNight::Config load(const CvlTimeZone& tz = CvlTimeZone::system());
// The Night menu's setter: mode, cleared choice, released dark base; saved.
Status setNightMode(const std::string& mode);
// A hand-made light/dark choice at `now`; saved when the schedule is not off.
Status noteManualChoice(Moment now);
// The settings panel's night line: the window label, then the base-appearance note.
std::string panelLabel(Moment now, const CvlTimeZone& tz = CvlTimeZone::system());

}  // namespace cvl::NightSettings
