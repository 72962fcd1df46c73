// The application's look at one moment: the colour scheme that wins (night, the "appearance"
// setting, or the desktop's own), whether document pages render for night, and the one page
// call that brings any open page in line with it.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "night/CvlTimeZone.h"

namespace cvl::Appearance {

struct Look {
    std::string scheme = "light";  // "dark" or "light"
    bool nightNow = false;         // the night schedule is active now
    // Document pages are drawn for night: in "system" page-theme mode whenever the scheme is
    // dark, in "perfile" mode when night is active with night pages on.
    bool pageNight = false;
};

Look resolve(const nlohmann::json& settings, Moment now, bool systemDark,
             const CvlTimeZone& tz = CvlTimeZone::system());

// The guarded script that re-themes a page: its own theme function when it has one, else the
// document's data-theme, then the document-page night rendering.
std::string pageScript(const Look& look);

}  // namespace cvl::Appearance
