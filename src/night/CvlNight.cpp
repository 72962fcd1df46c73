#include "night/CvlNight.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "night/ZoneTables.h"

namespace cvl::CvlNight {

namespace {

constexpr double kPi = 3.14159265358979323846;
// cos(90.833°): the zenith of the visible sun's upper limb, refraction included.
constexpr double kCosZenith = -0.014538080502496963;

std::vector<std::string_view> splitView(std::string_view text, char sep) {
    std::vector<std::string_view> parts;
    size_t from = 0;
    while (from <= text.size()) {
        size_t at = text.find(sep, from);
        if (at == std::string_view::npos) at = text.size();
        parts.push_back(text.substr(from, at - from));
        from = at + 1;
    }
    return parts;
}

std::optional<double> parseNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::string s(text);
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

const std::map<std::string, std::pair<double, double>, std::less<>>& zoneTable() {
    static const auto table = [] {
        std::map<std::string, std::pair<double, double>, std::less<>> m;
        for (auto entry : splitView(ZoneTables::kZoneTable, ';')) {
            auto kv = splitView(entry, '=');
            if (kv.size() != 2 || kv[0].empty()) continue;
            auto ll = splitView(kv[1], ',');
            if (ll.size() != 2) continue;
            auto lat = parseNumber(ll[0]), lon = parseNumber(ll[1]);
            if (!lat || !lon) continue;
            m.emplace(std::string(kv[0]), std::make_pair(*lat, *lon));
        }
        return m;
    }();
    return table;
}

const std::map<std::string, std::string, std::less<>>& aliasTable() {
    static const auto table = [] {
        std::map<std::string, std::string, std::less<>> m;
        for (auto entry : splitView(ZoneTables::kAliasTable, ';')) {
            auto kv = splitView(entry, '=');
            if (kv.size() != 2 || kv[0].empty() || kv[1].empty()) continue;
            m.emplace(std::string(kv[0]), std::string(kv[1]));
        }
        return m;
    }();
    return table;
}

std::string stringOr(const nlohmann::json& s, const char* key, const char* fallback) {
    auto it = s.find(key);
    return it != s.end() && it->is_string() ? it->get<std::string>() : std::string(fallback);
}

std::optional<double> numberAt(const nlohmann::json& s, const char* key) {
    auto it = s.find(key);
    if (it == s.end() || !it->is_number()) return std::nullopt;
    double v = it->get<double>();
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

int reduceDay(long long minutes) {
    return static_cast<int>(((minutes % 1440) + 1440) % 1440);
}

// A window together with which of its boundaries really came from the sun.
struct WindowDetail {
    Window window;
    bool sunStart = false;
    bool sunEnd = false;
};

std::optional<WindowDetail> windowDetail(Moment date, const Config& c, const CvlTimeZone& tz) {
    const bool haveCoords = c.lat && c.lon;
    WindowDetail d;
    std::optional<int> start;
    if (c.from != "time" && haveCoords) {
        start = solarEventMinutes(*c.lat, *c.lon, date, false, std::nullopt, tz);
        d.sunStart = start.has_value();
    }
    if (!start) start = parseHHMM(c.fromTime);
    if (!start) start = 1200;
    std::optional<int> end;
    if (c.until != "time" && haveCoords) {
        end = solarEventMinutes(*c.lat, *c.lon, date, true, std::nullopt, tz);
        d.sunEnd = end.has_value();
    }
    if (!end) end = parseHHMM(c.untilTime);
    if (!end) end = 420;
    d.window = {reduceDay(*start), reduceDay(*end)};
    if (d.window.start == d.window.end) return std::nullopt;
    return d;
}

// The boundaries of the window placed on the wall clock of `date`'s day plus `dayOffset`.
std::vector<Moment> flipCandidates(Moment date, const Window& w, const CvlTimeZone& tz,
                                   int otherDay) {
    auto p = tz.local(date);
    std::vector<Moment> out;
    for (int boundary : {w.start, w.end})
        for (int day : {0, otherDay})
            out.push_back(tz.wallClock(p.year, p.month, p.day + day, boundary));
    return out;
}

}  // namespace

Config configFromSettings(const nlohmann::json& s) {
    Config c;
    if (!s.is_object()) return c;
    c.mode = stringOr(s, "night_mode", "off");
    c.from = stringOr(s, "night_from", "sunset");
    c.fromTime = stringOr(s, "night_from_time", "20:00");
    c.until = stringOr(s, "night_until", "sunrise");
    c.untilTime = stringOr(s, "night_until_time", "07:00");
    if (auto it = s.find("night_pages"); it != s.end() && it->is_boolean())
        c.pages = it->get<bool>();
    c.lat = numberAt(s, "night_lat");
    c.lon = numberAt(s, "night_lon");
    c.place = stringOr(s, "night_place", "");
    c.setAt = numberAt(s, "night_set_at").value_or(0);
    return c;
}

void writePlace(nlohmann::json& settings, const Config& config) {
    if (!settings.is_object()) settings = nlohmann::json::object();
    if (config.lat)
        settings["night_lat"] = *config.lat;
    else
        settings.erase("night_lat");
    if (config.lon)
        settings["night_lon"] = *config.lon;
    else
        settings.erase("night_lon");
    settings["night_place"] = config.place;
}

Config readConfig(nlohmann::json& settings, const CvlTimeZone& tz, bool* placeFilled) {
    Config before = configFromSettings(settings);
    Config after = ensurePlace(before, tz);
    bool filled = after.lat != before.lat || after.lon != before.lon;
    if (filled) writePlace(settings, after);
    if (placeFilled) *placeFilled = filled;
    return after;
}

std::optional<int> solarEventMinutes(double lat, double lon, Moment date, bool sunrise,
                                     std::optional<int> tzOffsetMinutes, const CvlTimeZone& tz) {
    auto local = tz.local(date);
    const double n = local.yearDay;
    const double g = 2 * kPi / 365 * (n - 1 + 0.5);
    const double eqTime = 229.18 * (0.000075 + 0.001868 * std::cos(g) - 0.032077 * std::sin(g) -
                                    0.014615 * std::cos(2 * g) - 0.040849 * std::sin(2 * g));
    const double decl = 0.006918 - 0.399912 * std::cos(g) + 0.070257 * std::sin(g) -
                        0.006758 * std::cos(2 * g) + 0.000907 * std::sin(2 * g) -
                        0.002697 * std::cos(3 * g) + 0.00148 * std::sin(3 * g);
    const double phi = lat * kPi / 180;
    const double c = kCosZenith / (std::cos(phi) * std::cos(decl)) - std::tan(phi) * std::tan(decl);
    if (!std::isfinite(c) || std::fabs(c) > 1) return std::nullopt;
    const double hourAngle = std::acos(c) * 180 / kPi;
    double x = 720 - 4 * lon - eqTime + (sunrise ? -4 : 4) * hourAngle;
    x += tzOffsetMinutes ? *tzOffsetMinutes : local.offsetMinutes;
    x = std::fmod(std::fmod(x, 1440) + 1440, 1440);
    return reduceDay(std::llround(x));
}

std::optional<Place> placeFromTimeZone(const std::string& identifier) {
    const auto& zones = zoneTable();
    std::string resolved = identifier;
    if (zones.find(resolved) == zones.end()) {
        const auto& aliases = aliasTable();
        if (auto a = aliases.find(resolved); a != aliases.end()) resolved = a->second;
    }
    auto z = zones.find(resolved);
    if (z == zones.end()) return std::nullopt;
    std::string name =
        resolved.substr(resolved.rfind('/') == std::string::npos ? 0 : resolved.rfind('/') + 1);
    for (char& ch : name)
        if (ch == '_') ch = ' ';
    return Place{z->second.first, z->second.second, name};
}

Config ensurePlace(Config config, const CvlTimeZone& tz) {
    const bool needsSun = config.from == "sunset" || config.until == "sunrise";
    if (!needsSun || (config.lat && config.lon)) return config;
    if (auto place = placeFromTimeZone(tz.identifier())) {
        config.lat = place->lat;
        config.lon = place->lon;
        config.place = place->name;
    }
    return config;
}

std::optional<int> parseHHMM(std::string_view text) {
    const char* ws = " \t\r\n\v\f";
    auto b = text.find_first_not_of(ws);
    if (b == std::string_view::npos) return std::nullopt;
    text = text.substr(b, text.find_last_not_of(ws) - b + 1);
    std::vector<std::string_view> pieces;
    for (auto p : splitView(text, ':'))
        if (!p.empty()) pieces.push_back(p);
    if (pieces.size() != 2) return std::nullopt;
    int values[2];
    for (int i = 0; i < 2; ++i) {
        auto piece = pieces[i];
        if (piece.front() == '+') piece.remove_prefix(1);
        if (piece.empty()) return std::nullopt;
        auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), values[i]);
        if (ec != std::errc() || end != piece.data() + piece.size()) return std::nullopt;
    }
    // A signed piece parses as an ordinary integer; window() reduces the sum into a day.
    if (values[0] > 23 || values[1] > 59) return std::nullopt;
    return values[0] * 60 + values[1];
}

std::optional<Window> window(Moment date, const Config& config, const CvlTimeZone& tz) {
    auto d = windowDetail(date, config, tz);
    if (!d) return std::nullopt;
    return d->window;
}

bool inNight(Moment date, std::optional<int> nowMinutes, const Config& config,
             const CvlTimeZone& tz) {
    auto w = window(date, config, tz);
    if (!w) return false;
    int now = nowMinutes ? *nowMinutes : minutesOfDay(date, tz);
    return (now - w->start + 1440) % 1440 < (w->end - w->start + 1440) % 1440;
}

int minutesOfDay(Moment date, const CvlTimeZone& tz) {
    auto p = tz.local(date);
    return p.hour * 60 + p.minute;
}

std::optional<Moment> lastFlip(Moment date, const Config& config, const CvlTimeZone& tz) {
    auto w = window(date, config, tz);
    if (!w) return std::nullopt;
    std::optional<Moment> best;
    for (Moment m : flipCandidates(date, *w, tz, -1))
        if (m <= date && (!best || m > *best)) best = m;
    return best;
}

std::optional<Moment> nextFlip(Moment date, const Config& config, const CvlTimeZone& tz) {
    auto w = window(date, config, tz);
    if (!w) return std::nullopt;
    std::optional<Moment> best;
    for (Moment m : flipCandidates(date, *w, tz, +1))
        if (m > date && (!best || m < *best)) best = m;
    return best;
}

bool manualHolds(Moment date, const Config& config, const CvlTimeZone& tz) {
    if (config.setAt <= 0) return false;
    auto last = lastFlip(date, config, tz);
    if (!last) return true;
    return *last < config.setAt;
}

bool isNightNow(Moment date, const Config& config, const CvlTimeZone& tz) {
    auto scheduleOwns = [&] {
        if (config.setAt <= 0) return true;
        auto last = lastFlip(date, config, tz);
        return last && *last >= config.setAt;
    };
    if (config.mode == "on") return scheduleOwns();
    if (config.mode == "auto") {
        if (!inNight(date, std::nullopt, config, tz)) return false;
        return scheduleOwns();
    }
    return false;
}

std::string clockLabel(int minutes) {
    int m = reduceDay(minutes);
    int h = m / 60;
    int shown = m < 720 ? h : h - 12;
    if (shown == 0) shown = 12;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d%s", shown, m % 60, m < 720 ? "am" : "pm");
    return buf;
}

std::string windowLabel(Moment date, const Config& config, const CvlTimeZone& tz) {
    if (config.mode == "on")
        return "Always on. Dark stays on at every hour; Ctrl+T still overrides it until the next "
               "morning.";
    if (config.mode != "auto") return "Off. Light and dark follow the Appearance setting above.";
    auto d = windowDetail(date, config, tz);
    if (!d) return "No night tonight: the start and end land on the same minute.";
    const char* basis = d->sunStart ? (d->sunEnd ? "sunset and sunrise" : "sunset, then a set time")
                                    : (d->sunEnd ? "a set time, then sunrise" : "set times");
    std::string label =
        "Dark " + clockLabel(d->window.start) + " to " + clockLabel(d->window.end) + " (" + basis;
    if (!config.place.empty() && (d->sunStart || d->sunEnd)) label += " in " + config.place;
    return label + ").";
}

}  // namespace cvl::CvlNight
