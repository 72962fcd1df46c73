// The night schedule: solar events against published almanac times, windows and flips in
// real zones (including the days clocks change), hand-made choices and the labels.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "night/CvlNight.h"

namespace cvl {
namespace {

using namespace CvlNight;

const auto kNewYork = CvlTimeZone::named("America/New_York");
const auto kLondon = CvlTimeZone::named("Europe/London");
const auto kSydney = CvlTimeZone::named("Australia/Sydney");
const auto kLongyearbyen = CvlTimeZone::named("Arctic/Longyearbyen");

Config setTimes(const char* mode, const char* from = "20:00", const char* until = "07:00") {
    Config c;
    c.mode = mode;
    c.from = "time";
    c.until = "time";
    c.fromTime = from;
    c.untilTime = until;
    return c;
}

Moment at(const CvlTimeZone& tz, int y, int m, int d, int hour, int minute = 0) {
    return tz.wallClock(y, m, d, hour * 60 + minute);
}

// Almanac times (local clock, minutes) for the solstices of 2026.
struct SunCase {
    const char* city;
    const CvlTimeZone* tz;
    double lat, lon;
    int month, day;
    int sunrise, sunset;
};

TEST(SolarEvents, MatchPublishedSunriseAndSunsetWithinTwoMinutes) {
    const SunCase cases[] = {
        {"New York June", &kNewYork, 40.71, -74.01, 6, 21, 5 * 60 + 25, 20 * 60 + 31},
        {"New York December", &kNewYork, 40.71, -74.01, 12, 21, 7 * 60 + 17, 16 * 60 + 32},
        {"London June", &kLondon, 51.51, -0.13, 6, 21, 4 * 60 + 43, 21 * 60 + 21},
        {"Sydney December", &kSydney, -33.87, 151.21, 12, 21, 5 * 60 + 41, 20 * 60 + 5},
    };
    for (const auto& c : cases) {
        Moment noon = at(*c.tz, 2026, c.month, c.day, 12);
        auto rise = solarEventMinutes(c.lat, c.lon, noon, true, std::nullopt, *c.tz);
        auto set = solarEventMinutes(c.lat, c.lon, noon, false, std::nullopt, *c.tz);
        ASSERT_TRUE(rise && set) << c.city;
        EXPECT_NEAR(*rise, c.sunrise, 2) << c.city;
        EXPECT_NEAR(*set, c.sunset, 2) << c.city;
    }
}

TEST(SolarEvents, AnExplicitOffsetReplacesTheZones) {
    // Standard time in June moves New York's 8:31pm sunset an hour back.
    Moment june = at(kNewYork, 2024, 6, 21, 12);
    EXPECT_EQ(clockLabel(*solarEventMinutes(40.71, -74.01, june, false, -300, kNewYork)), "7:31pm");
}

TEST(SolarEvents, PolarDayAndNightHaveNoEventAndTheWindowFallsBackToSetTimes) {
    Moment june = at(kLongyearbyen, 2026, 6, 21, 12);
    Moment december = at(kLongyearbyen, 2026, 12, 21, 12);
    EXPECT_FALSE(solarEventMinutes(78.22, 15.65, june, false, {}, kLongyearbyen));
    EXPECT_FALSE(solarEventMinutes(78.22, 15.65, june, true, {}, kLongyearbyen));
    EXPECT_FALSE(solarEventMinutes(78.22, 15.65, december, true, {}, kLongyearbyen));

    Config c;
    c.mode = "auto";
    c.lat = 78.22;
    c.lon = 15.65;
    c.fromTime = "22:30";
    c.untilTime = "garbage";
    auto w = window(june, c, kLongyearbyen);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->start, 22 * 60 + 30);
    EXPECT_EQ(w->end, 7 * 60);  // an unparseable end takes 07:00
    EXPECT_EQ(windowLabel(june, c, kLongyearbyen), "Dark 10:30pm to 7:00am (set times).");
}

TEST(ParseHHMM, AcceptsHoursAndMinutesOnly) {
    EXPECT_EQ(parseHHMM("20:00"), 1200);
    EXPECT_EQ(parseHHMM("  7:05\n"), 425);
    EXPECT_EQ(parseHHMM("23:59"), 1439);
    EXPECT_EQ(parseHHMM("0:0"), 0);
    EXPECT_EQ(parseHHMM("::7::30"), 450);  // empty pieces are dropped
    EXPECT_FALSE(parseHHMM("24:00"));
    EXPECT_FALSE(parseHHMM("12:60"));
    EXPECT_FALSE(parseHHMM("12"));
    EXPECT_FALSE(parseHHMM("1:2:3"));
    EXPECT_FALSE(parseHHMM("8pm"));
    EXPECT_FALSE(parseHHMM("8:3o"));
    EXPECT_FALSE(parseHHMM(""));
}

TEST(Window, SetTimesAndBoundaries) {
    Moment day = at(kNewYork, 2026, 3, 20, 12);
    Config c = setTimes("auto");
    auto w = window(day, c, kNewYork);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->start, 1200);
    EXPECT_EQ(w->end, 420);
    EXPECT_TRUE(inNight(day, 2 * 60, c, kNewYork));
    EXPECT_TRUE(inNight(day, 23 * 60, c, kNewYork));
    EXPECT_TRUE(inNight(day, 20 * 60, c, kNewYork));  // the start minute is night
    EXPECT_FALSE(inNight(day, 12 * 60, c, kNewYork));
    EXPECT_FALSE(inNight(day, 7 * 60, c, kNewYork));  // the end minute is already day
    EXPECT_TRUE(inNight(day, 6 * 60 + 59, c, kNewYork));
    // Without nowMinutes the moment's own clock decides.
    EXPECT_TRUE(inNight(at(kNewYork, 2026, 3, 20, 2), std::nullopt, c, kNewYork));
    EXPECT_FALSE(inNight(at(kNewYork, 2026, 3, 20, 15), std::nullopt, c, kNewYork));

    // A daytime window that does not cross midnight.
    Config day2 = setTimes("auto", "9:00", "17:00");
    EXPECT_TRUE(inNight(day, 12 * 60, day2, kNewYork));
    EXPECT_FALSE(inNight(day, 2 * 60, day2, kNewYork));

    Config same = setTimes("auto", "20:00", "20:00");
    EXPECT_FALSE(window(day, same, kNewYork));
    EXPECT_FALSE(inNight(day, 21 * 60, same, kNewYork));
    EXPECT_FALSE(lastFlip(day, same, kNewYork));
    EXPECT_FALSE(nextFlip(day, same, kNewYork));
    EXPECT_EQ(windowLabel(day, same, kNewYork),
              "No night tonight: the start and end land on the same minute.");
}

TEST(Window, SunBoundariesNeedCoordinatesAndNameTheirBasis) {
    Moment june = at(kNewYork, 2024, 6, 21, 12);
    Config c;
    c.mode = "auto";
    c.lat = 40.71;
    c.lon = -74.01;
    c.place = "New York";
    EXPECT_EQ(windowLabel(june, c, kNewYork),
              "Dark 8:31pm to 5:25am (sunset and sunrise in New York).");
    c.until = "time";
    EXPECT_EQ(windowLabel(june, c, kNewYork),
              "Dark 8:31pm to 7:00am (sunset, then a set time in New York).");
    c.until = "sunrise";
    c.from = "time";
    c.fromTime = "22:15";
    EXPECT_EQ(windowLabel(june, c, kNewYork),
              "Dark 10:15pm to 5:25am (a set time, then sunrise in New York).");
    c.lon.reset();  // half the coordinates: both ends take their set times
    EXPECT_EQ(windowLabel(june, c, kNewYork), "Dark 10:15pm to 7:00am (set times).");

    Config on;
    on.mode = "on";
    EXPECT_EQ(windowLabel(june, on, kNewYork),
              "Always on. Dark stays on at every hour; Ctrl+T still overrides it until the next "
              "morning.");
    Config other;
    other.mode = "sometimes";
    EXPECT_EQ(windowLabel(june, other, kNewYork),
              "Off. Light and dark follow the Appearance setting above.");
}

TEST(Flips, LastAndNextOnAnOrdinaryDay) {
    Config c = setTimes("auto");
    Moment twoAm = at(kNewYork, 2026, 3, 20, 2);
    EXPECT_EQ(lastFlip(twoAm, c, kNewYork), at(kNewYork, 2026, 3, 19, 20));
    EXPECT_EQ(nextFlip(twoAm, c, kNewYork), at(kNewYork, 2026, 3, 20, 7));
    Moment afternoon = at(kNewYork, 2026, 3, 20, 15);
    EXPECT_EQ(lastFlip(afternoon, c, kNewYork), at(kNewYork, 2026, 3, 20, 7));
    EXPECT_EQ(nextFlip(afternoon, c, kNewYork), at(kNewYork, 2026, 3, 20, 20));
    // A flip exactly now is the last flip, not the next.
    Moment eight = at(kNewYork, 2026, 3, 20, 20);
    EXPECT_EQ(lastFlip(eight, c, kNewYork), eight);
    EXPECT_EQ(nextFlip(eight, c, kNewYork), at(kNewYork, 2026, 3, 21, 7));
}

TEST(Flips, FollowTheWallClockAcrossDaylightSavingChanges) {
    Config c = setTimes("auto");
    // 8 March 2026: New York springs forward at 2am.
    Moment beforeChange = at(kNewYork, 2026, 3, 8, 1);
    auto next = nextFlip(beforeChange, c, kNewYork);
    ASSERT_TRUE(next);
    auto local = kNewYork.local(*next);
    EXPECT_EQ(local.hour * 60 + local.minute, 7 * 60);
    EXPECT_EQ(local.day, 8);
    EXPECT_EQ(*next - beforeChange, 5 * 3600);  // 1am EST to 7am EDT is five real hours

    Moment nextMorning = at(kNewYork, 2026, 3, 9, 6);
    auto last = lastFlip(nextMorning, c, kNewYork);
    ASSERT_TRUE(last);
    EXPECT_EQ(kNewYork.local(*last).hour, 20);
    EXPECT_EQ(kNewYork.local(*last).day, 8);

    // 1 November 2026: clocks fall back; 8pm to 7am lasts twelve real hours.
    Moment fallNight = at(kNewYork, 2026, 11, 1, 3);
    auto fellLast = lastFlip(fallNight, c, kNewYork);
    auto fellNext = nextFlip(fallNight, c, kNewYork);
    ASSERT_TRUE(fellLast && fellNext);
    EXPECT_EQ(kNewYork.local(*fellLast).hour, 20);
    EXPECT_EQ(kNewYork.local(*fellNext).hour, 7);
    EXPECT_EQ(*fellNext - *fellLast, 12 * 3600);
    EXPECT_EQ(minutesOfDay(fallNight, kNewYork), 3 * 60);
}

TEST(ManualChoice, HoldsUntilTheNextBoundary) {
    Config c = setTimes("auto");
    Moment twoAm = at(kNewYork, 2026, 3, 20, 2);
    EXPECT_FALSE(manualHolds(twoAm, c, kNewYork));
    EXPECT_TRUE(isNightNow(twoAm, c, kNewYork));  // the schedule owns the state

    c.setAt = at(kNewYork, 2026, 3, 20, 0, 30);  // after the 8pm flip
    EXPECT_TRUE(manualHolds(twoAm, c, kNewYork));
    EXPECT_FALSE(isNightNow(twoAm, c, kNewYork));
    // The 7am flip ends the choice; the day is light anyway.
    EXPECT_FALSE(manualHolds(at(kNewYork, 2026, 3, 20, 8), c, kNewYork));

    c.setAt = at(kNewYork, 2026, 3, 19, 19);  // before the 8pm flip
    EXPECT_FALSE(manualHolds(twoAm, c, kNewYork));
    EXPECT_TRUE(isNightNow(twoAm, c, kNewYork));

    // With no window a choice holds for good.
    Config none = setTimes("on", "20:00", "20:00");
    none.setAt = 1;
    EXPECT_TRUE(manualHolds(twoAm, none, kNewYork));
    EXPECT_FALSE(isNightNow(twoAm, none, kNewYork));
}

TEST(Modes, OffOnAndAuto) {
    Moment onePm = at(kNewYork, 2026, 3, 20, 13);
    Moment twoAm = at(kNewYork, 2026, 3, 20, 2);
    Config off = setTimes("off");
    EXPECT_FALSE(isNightNow(twoAm, off, kNewYork));
    EXPECT_FALSE(isNightNow(onePm, off, kNewYork));
    Config unknown = setTimes("nightly");
    EXPECT_FALSE(isNightNow(twoAm, unknown, kNewYork));

    Config on = setTimes("on");
    EXPECT_TRUE(isNightNow(onePm, on, kNewYork));
    on.setAt = at(kNewYork, 2026, 3, 20, 12);  // turned light by hand at noon
    EXPECT_FALSE(isNightNow(onePm, on, kNewYork));
    EXPECT_TRUE(isNightNow(at(kNewYork, 2026, 3, 20, 21), on, kNewYork));  // the 8pm flip

    Config autoMode = setTimes("auto");
    EXPECT_FALSE(isNightNow(onePm, autoMode, kNewYork));
    EXPECT_TRUE(isNightNow(twoAm, autoMode, kNewYork));
}

TEST(Places, ZonesAliasesAndUnknownZones) {
    auto ny = placeFromTimeZone("America/New_York");
    ASSERT_TRUE(ny);
    EXPECT_EQ(ny->name, "New York");
    EXPECT_DOUBLE_EQ(ny->lat, 40.71);
    EXPECT_DOUBLE_EQ(ny->lon, -74.01);
    EXPECT_EQ(placeFromTimeZone("US/Eastern")->name, "New York");
    auto andorra = placeFromTimeZone("Europe/Andorra");
    ASSERT_TRUE(andorra);
    EXPECT_DOUBLE_EQ(andorra->lat, 42.5);
    EXPECT_DOUBLE_EQ(andorra->lon, 1.52);
    auto jhb = placeFromTimeZone("Africa/Johannesburg");
    ASSERT_TRUE(jhb);
    EXPECT_DOUBLE_EQ(jhb->lat, -26.25);
    EXPECT_DOUBLE_EQ(jhb->lon, 28);
    EXPECT_EQ(placeFromTimeZone("PST8PDT")->name, "Los Angeles");
    EXPECT_EQ(placeFromTimeZone("Australia/ACT")->name, "Sydney");
    EXPECT_FALSE(placeFromTimeZone("Mars/Olympus_Mons"));
    EXPECT_FALSE(placeFromTimeZone(""));
    EXPECT_FALSE(placeFromTimeZone("Etc/UTC"));  // no place to guess
}

TEST(Settings, ReadingFallsBackPerKeyAndFillsThePlaceOnce) {
    nlohmann::json s = {{"night_mode", "auto"},       {"night_from", 3},
                        {"night_from_time", "21:30"}, {"night_pages", "yes"},
                        {"night_set_at", 1700000000}, {"unrelated", "kept"}};
    bool filled = false;
    Config c = readConfig(s, kNewYork, &filled);
    EXPECT_EQ(c.mode, "auto");
    EXPECT_EQ(c.from, "sunset");  // wrong type: default
    EXPECT_EQ(c.fromTime, "21:30");
    EXPECT_TRUE(c.pages);
    EXPECT_EQ(c.setAt, 1700000000);
    EXPECT_TRUE(filled);
    EXPECT_EQ(s["night_lat"], 40.71);
    EXPECT_EQ(s["night_lon"], -74.01);
    EXPECT_EQ(s["night_place"], "New York");
    EXPECT_EQ(s["unrelated"], "kept");

    nlohmann::json again = s;
    readConfig(again, kLondon, &filled);  // coordinates present: nothing to fill
    EXPECT_FALSE(filled);
    EXPECT_EQ(again, s);

    nlohmann::json setOnly = {{"night_from", "time"}, {"night_until", "time"}};
    readConfig(setOnly, kNewYork, &filled);
    EXPECT_FALSE(filled);
    EXPECT_FALSE(setOnly.contains("night_lat"));

    nlohmann::json nowhere = nlohmann::json::object();
    Config unknown = readConfig(nowhere, CvlTimeZone::named("Etc/UTC"), &filled);
    EXPECT_FALSE(filled);
    EXPECT_FALSE(unknown.lat);

    nlohmann::json notAnObject = nlohmann::json::array();
    Config defaults = configFromSettings(notAnObject);
    EXPECT_EQ(defaults.mode, "off");
    EXPECT_EQ(defaults.untilTime, "07:00");
}

TEST(Settings, WritingAPlaceWithoutLongitudeRemovesTheKey) {
    nlohmann::json s = {{"night_lat", 1.0}, {"night_lon", 2.0}};
    Config c;
    c.lat = 10;
    c.place = "Somewhere";
    writePlace(s, c);
    EXPECT_EQ(s["night_lat"], 10.0);
    EXPECT_FALSE(s.contains("night_lon"));
    EXPECT_EQ(s["night_place"], "Somewhere");
}

TEST(ClockLabel, TwelveHourClock) {
    EXPECT_EQ(clockLabel(1231), "8:31pm");
    EXPECT_EQ(clockLabel(0), "12:00am");
    EXPECT_EQ(clockLabel(720), "12:00pm");
    EXPECT_EQ(clockLabel(325), "5:25am");
    EXPECT_EQ(clockLabel(779), "12:59pm");
    EXPECT_EQ(clockLabel(1440 + 61), "1:01am");
    EXPECT_EQ(clockLabel(-1), "11:59pm");
}

}  // namespace
}  // namespace cvl
