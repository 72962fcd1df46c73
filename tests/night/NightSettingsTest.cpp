// The night schedule on a real settings file in a temporary home.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/Config.h"
#include "night/NightSettings.h"
#include "platform/FileIO.h"
#include "platform/UserDirs.h"
#include "support/TempHome.h"

namespace cvl {
namespace {

const auto kNewYork = CvlTimeZone::named("America/New_York");

nlohmann::json fileContents() {
    auto text = readFile(UserDirs::configPath());
    return text ? nlohmann::json::parse(*text, nullptr, false) : nlohmann::json();
}

TEST(NightSettings, LoadingFillsThePlaceOnceAndKeepsOtherKeys) {
    test::TempHome home;
    ASSERT_TRUE(saveConfig({{"night_mode", "auto"}, {"pair_code", "K7"}}).ok());
    auto config = NightSettings::load(kNewYork);
    ASSERT_TRUE(config.lat && config.lon);
    EXPECT_EQ(config.place, "New York");
    auto stored = fileContents();
    EXPECT_EQ(stored["night_place"], "New York");
    EXPECT_EQ(stored["pair_code"], "K7");

    // Coordinates the user set are not replaced by the zone's.
    ASSERT_TRUE(
        saveConfig({{"night_mode", "auto"}, {"night_lat", 51.5}, {"night_lon", -0.13}}).ok());
    auto own = NightSettings::load(kNewYork);
    EXPECT_EQ(own.lat, 51.5);
    EXPECT_FALSE(fileContents().contains("night_place"));
}

TEST(NightSettings, SettersWriteTheFile) {
    test::TempHome home;
    ASSERT_TRUE(saveConfig({{"appearance", "dark"}, {"night_set_at", 77.0}}).ok());
    ASSERT_TRUE(NightSettings::setNightMode("auto")
                    .ok());  // the rules are NightState's; here they are saved
    auto stored = fileContents();
    EXPECT_EQ(stored["night_mode"], "auto");
    EXPECT_EQ(stored["night_base_released"], true);

    ASSERT_TRUE(NightSettings::noteManualChoice(1234).ok());
    EXPECT_EQ(fileContents()["night_set_at"], 1234.0);
    ASSERT_TRUE(NightSettings::setNightMode("off").ok());
    ASSERT_TRUE(NightSettings::noteManualChoice(99).ok());
    EXPECT_EQ(fileContents()["night_set_at"], 0);

    ASSERT_TRUE(saveConfig({{"night_mode", "auto"},
                            {"night_from", "time"},
                            {"night_until", "time"},
                            {"appearance", "dark"}})
                    .ok());
    EXPECT_EQ(NightSettings::panelLabel(kNewYork.wallClock(2026, 3, 20, 720), kNewYork),
              "Dark 8:00pm to 7:00am (set times). Appearance is set to Dark, so mornings stay "
              "dark. Set Appearance to Light or Follow System and the schedule can bring the day "
              "back.");
}

}  // namespace
}  // namespace cvl
