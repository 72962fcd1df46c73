#include "night/CvlTimeZone.h"
#include "platform/Env.h"
#include "platform/Text.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>

namespace cvl {

namespace {

std::mutex& zoneLock() {
    static std::mutex lock;
    return lock;
}

// Enters a named zone for the lifetime of the guard; the caller holds zoneLock().
class ZoneSwitch {
  public:
    explicit ZoneSwitch(const std::string& named) : active_(!named.empty()) {
        if (!active_) return;
        old_ = envVariable("TZ");
        ::setenv("TZ", named.c_str(), 1);
        ::tzset();
    }
    ~ZoneSwitch() {
        if (!active_) return;
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ZoneSwitch(const ZoneSwitch&) = delete;
    ZoneSwitch& operator=(const ZoneSwitch&) = delete;

  private:
    bool active_;
    std::optional<std::string> old_;
};

std::string afterZoneinfo(const std::string& path) {
    auto at = path.find("zoneinfo/");
    if (at == std::string::npos) return std::string();
    std::string id = path.substr(at + 9);
    if (id.rfind("posix/", 0) == 0)
        id = id.substr(6);
    else if (id.rfind("right/", 0) == 0)
        id = id.substr(6);
    return id;
}

}  // namespace

std::string CvlTimeZone::identifier() const {
    if (!named_.empty()) return named_;
    if (std::string tz = envValue("TZ"); !tz.empty()) {
        std::string id = tz;
        if (id[0] == ':') id = id.substr(1);
        if (!id.empty() && id[0] == '/') return afterZoneinfo(id);
        return id;
    }
    {
        std::ifstream in("/etc/timezone");
        std::string line;
        if (in && std::getline(in, line) && !trimmed(line).empty()) return trimmed(line);
    }
    char buf[4096];
    ssize_t n = ::readlink("/etc/localtime", buf, sizeof buf - 1);
    if (n > 0) return afterZoneinfo(std::string(buf, static_cast<size_t>(n)));
    return std::string();
}

CvlTimeZone::LocalParts CvlTimeZone::local(Moment moment) const {
    std::lock_guard<std::mutex> hold(zoneLock());
    ZoneSwitch zone(named_);
    std::time_t t = static_cast<std::time_t>(std::floor(moment));
    std::tm tm{};
    ::localtime_r(&t, &tm);
    LocalParts p;
    p.year = tm.tm_year + 1900;
    p.month = tm.tm_mon + 1;
    p.day = tm.tm_mday;
    p.hour = tm.tm_hour;
    p.minute = tm.tm_min;
    p.second = tm.tm_sec;
    p.yearDay = tm.tm_yday + 1;
    p.offsetMinutes = static_cast<int>(tm.tm_gmtoff / 60);
    return p;
}

Moment CvlTimeZone::wallClock(int year, int month, int day, int minutes) const {
    std::lock_guard<std::mutex> hold(zoneLock());
    ZoneSwitch zone(named_);
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = 0;
    tm.tm_min = minutes;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return static_cast<Moment>(::mktime(&tm));
}

}  // namespace cvl
