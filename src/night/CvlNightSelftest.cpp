// The night schedule's built-in self-test (corvello --night-selftest). Each check runs with
// the process's TZ set to the zone it is about, so the result does not depend on where the
// machine is.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "night/CvlNight.h"
#include "platform/Env.h"

namespace cvl::CvlNight {

namespace {

class ProcessZone {
  public:
    ProcessZone() {
        if (auto tz = envVariable("TZ")) old_ = *tz, had_ = true;
    }
    ~ProcessZone() {
        if (had_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    void enter(const char* zone) {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ProcessZone(const ProcessZone&) = delete;
    ProcessZone& operator=(const ProcessZone&) = delete;

  private:
    std::string old_;
    bool had_ = false;
};

struct Checks {
    std::vector<std::string> failures;
    void expect(bool ok, const std::string& what) {
        if (!ok) failures.push_back(what);
    }
    void expectMinutes(std::optional<int> got, const char* want, const std::string& what) {
        std::string shown = got ? clockLabel(*got) : std::string("none");
        if (shown != want) failures.push_back(what + " is " + shown + ", want " + want);
    }
};

Config setTimes(const char* mode) {
    Config c;
    c.mode = mode;
    c.from = "time";
    c.until = "time";
    c.fromTime = "20:00";
    c.untilTime = "07:00";
    return c;
}

}  // namespace

int selftest() {
    ProcessZone zone;
    Checks t;
    const auto sys = CvlTimeZone::system();

    zone.enter("America/New_York");
    {
        Moment june = sys.wallClock(2024, 6, 21, 12 * 60);
        Moment december = sys.wallClock(2024, 12, 21, 12 * 60);
        t.expectMinutes(solarEventMinutes(40.71, -74.01, june, false), "8:31pm",
                        "New York sunset on 21 June");
        t.expectMinutes(solarEventMinutes(40.71, -74.01, june, true), "5:25am",
                        "New York sunrise on 21 June");
        t.expectMinutes(solarEventMinutes(40.71, -74.01, december, false), "4:32pm",
                        "New York sunset on 21 December");
        t.expectMinutes(solarEventMinutes(40.71, -74.01, december, true), "7:17am",
                        "New York sunrise on 21 December");
    }

    zone.enter("Arctic/Longyearbyen");
    {
        Moment june = sys.wallClock(2024, 6, 21, 12 * 60);
        t.expect(!solarEventMinutes(78.22, 15.65, june, false), "Svalbard has a sunset on 21 June");
        Config c;
        c.mode = "auto";
        c.lat = 78.22;
        c.lon = 15.65;
        c.fromTime = "22:00";
        c.untilTime = "06:00";
        auto w = window(june, c);
        t.expect(w && w->start == 22 * 60 && w->end == 6 * 60,
                 "Svalbard's June window does not fall back to the set times");
    }

    zone.enter("UTC");
    {
        Moment day = sys.wallClock(2026, 3, 10, 12 * 60);
        Config same = setTimes("auto");
        same.untilTime = "20:00";
        t.expect(!window(day, same), "a window starting where it ends is still a night");

        Config c = setTimes("auto");
        t.expect(inNight(day, 2 * 60, c), "2am is outside the 8pm-7am window");
        t.expect(inNight(day, 23 * 60, c), "11pm is outside the 8pm-7am window");
        t.expect(!inNight(day, 12 * 60, c), "noon is inside the 8pm-7am window");
        t.expect(!inNight(day, 7 * 60, c), "7am is still night in the 8pm-7am window");

        Moment twoAm = sys.wallClock(2026, 3, 10, 2 * 60);
        Config fresh = c;
        c.setAt = sys.wallClock(2026, 3, 10, 30);
        t.expect(manualHolds(twoAm, c) && !isNightNow(twoAm, c),
                 "a choice made at 12:30am does not hold at 2am");
        c.setAt = sys.wallClock(2026, 3, 9, 19 * 60);
        t.expect(!manualHolds(twoAm, c) && isNightNow(twoAm, c),
                 "a choice made before the 8pm flip still holds at 2am");
        t.expect(!manualHolds(twoAm, fresh) && isNightNow(twoAm, fresh),
                 "with no choice made the schedule does not own the state");

        Config off = setTimes("off");
        t.expect(!isNightNow(twoAm, off), "mode off is night at 2am");
        Config on = setTimes("on");
        Moment onePm = sys.wallClock(2026, 3, 10, 13 * 60);
        t.expect(isNightNow(onePm, on), "mode on is not night at 1pm");
    }

    {
        auto ny = placeFromTimeZone("America/New_York");
        t.expect(ny && ny->name == "New York" && ny->lat == 40.71 && ny->lon == -74.01,
                 "America/New_York does not resolve to New York");
        auto eastern = placeFromTimeZone("US/Eastern");
        t.expect(eastern && eastern->name == "New York",
                 "US/Eastern does not resolve through the alias table");
        t.expect(!placeFromTimeZone("Mars/Olympus_Mons"), "an unknown zone gives a place");
    }

    const std::pair<int, const char*> labels[] = {
        {1231, "8:31pm"}, {0, "12:00am"}, {720, "12:00pm"}, {325, "5:25am"}};
    for (const auto& [minutes, want] : labels) {
        std::string got = clockLabel(minutes);
        t.expect(got == want,
                 "clockLabel(" + std::to_string(minutes) + ") is " + got + ", want " + want);
    }

    if (t.failures.empty()) {
        std::printf("CvlNight selftest: PASS\n");
        return 0;
    }
    std::printf("CvlNight selftest:");
    for (const auto& f : t.failures) std::printf("\n  FAIL %s", f.c_str());
    std::printf("\n");
    return 1;
}

}  // namespace cvl::CvlNight
