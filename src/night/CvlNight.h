// The night schedule as a calculator without state: whether it is night, when night starts
// and ends, when the schedule last flipped and flips next, and how to say so. "Now" and the
// time zone are inputs, so every answer can be checked for any moment in any zone.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "night/CvlTimeZone.h"

namespace cvl::CvlNight {

// The night settings; every field keeps its default when its key is missing or mistyped.
struct Config {
    std::string mode = "off";  // "off", "on" or "auto"; anything else behaves as "off"
    std::string from = "sunset";
    std::string fromTime = "20:00";
    std::string until = "sunrise";
    std::string untilTime = "07:00";
    bool pages = true;
    std::optional<double> lat;
    std::optional<double> lon;
    std::string place;
    double setAt = 0;  // last hand-made light/dark choice, seconds since 1970; 0 = never
};

struct Place {
    double lat = 0;
    double lon = 0;
    std::string name;
};

// Minutes after local midnight, 0 to 1439; night runs from start (inclusive) to end.
struct Window {
    int start = 0;
    int end = 0;
};

// Reads the night keys of a settings object (the parsed config.json).
Config configFromSettings(const nlohmann::json& settings);
// Writes the coordinates and place name of `config` into a settings object; a missing
// coordinate removes its key.
void writePlace(nlohmann::json& settings, const Config& config);
// configFromSettings followed by ensurePlace; when coordinates were filled in they are
// written back into `settings` and `placeFilled` (if given) is set, so the caller saves.
Config readConfig(nlohmann::json& settings, const CvlTimeZone& tz = CvlTimeZone::system(),
                  bool* placeFilled = nullptr);

// Local minutes of sunrise (or sunset) on the local day of `date`, or none when the sun
// does not rise or set that day. Without an explicit offset, the zone's offset at `date`.
std::optional<int> solarEventMinutes(double lat, double lon, Moment date, bool sunrise,
                                     std::optional<int> tzOffsetMinutes = std::nullopt,
                                     const CvlTimeZone& tz = CvlTimeZone::system());

// The place a time zone identifier stands for, through the alias table when needed.
std::optional<Place> placeFromTimeZone(const std::string& identifier);
// Fills missing coordinates from the zone's identifier when a sun boundary needs them.
Config ensurePlace(Config config, const CvlTimeZone& tz = CvlTimeZone::system());

// "H:MM" as minutes after midnight; hours up to 23, minutes up to 59.
std::optional<int> parseHHMM(std::string_view text);
std::optional<Window> window(Moment date, const Config& config,
                             const CvlTimeZone& tz = CvlTimeZone::system());
bool inNight(Moment date, std::optional<int> nowMinutes, const Config& config,
             const CvlTimeZone& tz = CvlTimeZone::system());
int minutesOfDay(Moment date, const CvlTimeZone& tz = CvlTimeZone::system());
std::optional<Moment> lastFlip(Moment date, const Config& config,
                               const CvlTimeZone& tz = CvlTimeZone::system());
std::optional<Moment> nextFlip(Moment date, const Config& config,
                               const CvlTimeZone& tz = CvlTimeZone::system());
bool manualHolds(Moment date, const Config& config, const CvlTimeZone& tz = CvlTimeZone::system());
bool isNightNow(Moment date, const Config& config, const CvlTimeZone& tz = CvlTimeZone::system());
std::string clockLabel(int minutes);
std::string windowLabel(Moment date, const Config& config,
                        const CvlTimeZone& tz = CvlTimeZone::system());

// Runs the built-in checks, each under its own TZ, and prints "CvlNight selftest: PASS" or
// the failures. Returns 0 when every check passes, 1 otherwise.
int selftest();

}  // namespace cvl::CvlNight
