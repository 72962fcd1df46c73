#include "app/Appearance.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace cvl {
namespace {

using nlohmann::json;

const auto kNewYork = CvlTimeZone::named("America/New_York");

Moment at(int hour, int minute = 0) {
    return kNewYork.wallClock(2026, 3, 10, hour * 60 + minute);
}

// Night by set times, 20:00 to 07:00, so the answer does not depend on the sun.
json nightSettings(const char* mode) {
    return json{{"night_mode", mode},
                {"night_from", "time"},
                {"night_until", "time"},
                {"night_from_time", "20:00"},
                {"night_until_time", "07:00"}};
}

TEST(Appearance, TheSchemeComesFromNightThenTheSettingThenTheDesktop) {
    struct Case {
        const char* name;
        json settings;
        Moment now;
        bool systemDark;
        const char* scheme;
        bool pageNight;
    };
    json nightLight = nightSettings("auto");
    nightLight["appearance"] = "light";
    json perFile = nightSettings("auto");
    perFile["reading_theme_files"] = "perfile";
    json perFileNoPages = perFile;
    perFileNoPages["night_pages"] = false;
    json darkPerFileDay = perFile;
    darkPerFileDay["appearance"] = "dark";
    json chose = nightSettings("auto");  // a hand-made choice at 21:00 holds until 07:00
    chose["night_set_at"] = at(21);
    const Case cases[] = {
        {"no settings follow the desktop", json::object(), at(12), true, "dark", true},
        {"not even an object", json::array(), at(12), false, "light", false},
        {"night beats a light appearance", nightLight, at(23), false, "dark", true},
        {"the same settings by day", nightLight, at(12), true, "light", false},
        {"per-file pages follow night", perFile, at(2), false, "dark", true},
        {"per-file pages without night pages", perFileNoPages, at(2), false, "dark", false},
        {"per-file pages stay light by a dark day", darkPerFileDay, at(12), false, "dark", false},
        {"a hand-made choice ends night until morning", chose, at(23), false, "light", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Appearance::Look look = Appearance::resolve(c.settings, c.now, c.systemDark, kNewYork);
        EXPECT_EQ(look.scheme, c.scheme);
        EXPECT_EQ(look.pageNight, c.pageNight);
    }
}

TEST(Appearance, DesktopSignalsAndThePageCall) {
    Appearance::Look look;
    look.scheme = "dark";
    look.pageNight = true;
    const std::string script = Appearance::pageScript(look);
    // Every call in it is guarded, so any page (reader, welcome, review, panel) takes it.
    EXPECT_NE(script.find("__setTheme('dark',false)"), std::string::npos);
    EXPECT_NE(script.find("document.documentElement.dataset.theme='dark'"), std::string::npos);
    EXPECT_NE(script.find("__cvlNightPages(true)"), std::string::npos);
}

}  // namespace
}  // namespace cvl
