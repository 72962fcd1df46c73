// The application's night state: the mode setter, the resolved scheme, the hand-over
// announcement and when the flip timer fires.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "night/NightState.h"

namespace cvl {
namespace {

const auto kNewYork = CvlTimeZone::named("America/New_York");

TEST(SetNightMode, ClearsTheManualChoiceAndReleasesADarkBase) {
    nlohmann::json s = {{"appearance", "dark"}, {"night_set_at", 1234.0}, {"viewer", "app"}};
    NightState::setNightMode(s, "auto");
    EXPECT_EQ(s["night_mode"], "auto");
    EXPECT_EQ(s["night_set_at"], 0);
    EXPECT_EQ(s["appearance"], "auto");
    EXPECT_EQ(s["night_base_released"], true);
    EXPECT_EQ(s["viewer"], "app");
    EXPECT_EQ(NightState::baseAppearanceNote(s),
              "Appearance moved from Dark to Follow System, so mornings can come back.");

    nlohmann::json on = {{"appearance", "dark"}};
    NightState::setNightMode(on, "on");
    EXPECT_EQ(on["appearance"], "dark");
    EXPECT_FALSE(on.contains("night_base_released"));
    EXPECT_FALSE(NightState::baseAppearanceNote(on));

    nlohmann::json stuck = {{"appearance", "dark"}, {"night_mode", "auto"}};
    EXPECT_EQ(NightState::baseAppearanceNote(stuck),
              "Appearance is set to Dark, so mornings stay dark. Set Appearance to Light or "
              "Follow System and the schedule can bring the day back.");
}

TEST(ManualChoiceStamp, OnlyWhileTheScheduleIsOn) {
    nlohmann::json off = {{"night_mode", "off"}};
    EXPECT_FALSE(NightState::noteManualChoice(off, 500));
    EXPECT_FALSE(off.contains("night_set_at"));
    nlohmann::json on = {{"night_mode", "auto"}};
    EXPECT_TRUE(NightState::noteManualChoice(on, 500));
    EXPECT_EQ(on["night_set_at"], 500.0);
}

TEST(ResolvedScheme, NightWinsThenTheAppearance) {
    EXPECT_EQ(NightState::resolvedScheme(true, "light", false), "dark");
    EXPECT_EQ(NightState::resolvedScheme(false, "dark", false), "dark");
    EXPECT_EQ(NightState::resolvedScheme(false, "auto", true), "dark");
    EXPECT_EQ(NightState::resolvedScheme(false, "auto", false), "light");
    EXPECT_EQ(NightState::resolvedScheme(false, "sepia", true), "light");

    nlohmann::json s = {{"night_mode", "auto"},
                        {"night_from", "time"},
                        {"night_until", "time"},
                        {"appearance", "light"}};
    Moment twoAm = kNewYork.wallClock(2026, 3, 20, 120);
    Moment noon = kNewYork.wallClock(2026, 3, 20, 720);
    EXPECT_EQ(NightState::resolvedScheme(s, twoAm, false, kNewYork), "dark");
    EXPECT_EQ(NightState::resolvedScheme(s, noon, false, kNewYork), "light");
}

TEST(HandOver, AnnouncedOnlyOnAChangeWhileTheScheduleRuns) {
    EXPECT_FALSE(NightState::handOverMessage("auto", std::nullopt, "dark"));  // first look
    EXPECT_FALSE(NightState::handOverMessage("auto", "dark", "dark"));
    EXPECT_FALSE(NightState::handOverMessage("off", "light", "dark"));
    EXPECT_EQ(NightState::handOverMessage("auto", "light", "dark"),
              "Night Mode is on: your schedule dimmed the app, not the whole desktop. Settings "
              "changes it.");
    EXPECT_EQ(NightState::handOverMessage("on", "dark", "light"),
              "Night Mode is off: your schedule brought the daylight look back.");
}

TEST(FlipTimer, ArmsForTheNextFlipOnlyWhenSomethingWillChange) {
    CvlNight::Config c;
    c.from = c.until = "time";
    Moment twoAm = kNewYork.wallClock(2026, 3, 20, 120);
    c.mode = "off";
    EXPECT_FALSE(NightState::flipTimerMoment(twoAm, c, kNewYork));
    c.mode = "on";
    EXPECT_FALSE(NightState::flipTimerMoment(twoAm, c, kNewYork));
    c.setAt = twoAm - 60;  // a hand-made choice to end at the next boundary
    EXPECT_EQ(NightState::flipTimerMoment(twoAm, c, kNewYork),
              kNewYork.wallClock(2026, 3, 20, 420));
    c.mode = "auto";
    c.setAt = 0;
    EXPECT_EQ(NightState::flipTimerMoment(twoAm, c, kNewYork),
              kNewYork.wallClock(2026, 3, 20, 420));
    c.untilTime = c.fromTime;  // no window, nothing to wait for
    EXPECT_FALSE(NightState::flipTimerMoment(twoAm, c, kNewYork));
}

}  // namespace
}  // namespace cvl
