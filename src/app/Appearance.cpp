#include "app/Appearance.h"

#include <nlohmann/json.hpp>

#include "night/CvlNight.h"
#include "night/NightState.h"
#include "window/PageScript.h"

namespace cvl::Appearance {

Look resolve(const nlohmann::json& settings, Moment now, bool systemDark, const CvlTimeZone& tz) {
    nlohmann::json copy = settings.is_object() ? settings : nlohmann::json::object();
    const CvlNight::Config config = CvlNight::readConfig(copy, tz);
    Look look;
    look.nightNow = CvlNight::isNightNow(now, config, tz);
    std::string appearance = "auto";
    if (auto it = copy.find("appearance"); it != copy.end() && it->is_string())
        appearance = it->get<std::string>();
    look.scheme = NightState::resolvedScheme(look.nightNow, appearance, systemDark);
    bool perFile = false;
    if (auto it = copy.find("reading_theme_files"); it != copy.end() && it->is_string())
        perFile = it->get<std::string>() == "perfile";
    look.pageNight = perFile ? look.nightNow && config.pages : look.scheme == "dark";
    return look;
}

std::string pageScript(const Look& look) {
    const std::string scheme = PageScript::single(look.scheme);
    return PageScript::callElse("__setTheme", scheme + ",false",
                                "document.documentElement.dataset.theme=" + scheme) +
           ";" + PageScript::call("__cvlNightPages", look.pageNight ? "true" : "false");
}

}  // namespace cvl::Appearance
