// Local calendar arithmetic in one time zone: the process's own zone, or a named IANA zone.
// Conversions go through the C library (localtime_r, mktime); a named zone is entered by
// switching TZ for the duration of one conversion under a process-wide lock, so these
// calls belong on the main thread like the rest of the night schedule.
#pragma once

#include <string>

namespace cvl {

// Seconds since 1970, as the settings file stores them.
using Moment = double;

class CvlTimeZone {
  public:
    struct LocalParts {
        int year = 1970, month = 1, day = 1;  // month and day 1-based
        int hour = 0, minute = 0, second = 0;
        int yearDay = 1;  // 1 for 1 January
        int offsetMinutes = 0;
    };

    // The zone the process currently runs in (TZ, else the system setting).
    static CvlTimeZone system() { return CvlTimeZone(std::string()); }
    // A named zone such as "America/New_York".
    static CvlTimeZone named(std::string identifier) { return CvlTimeZone(std::move(identifier)); }

    // The IANA identifier of this zone; for the system zone the identifier found in TZ,
    // /etc/timezone or the /etc/localtime link; empty when none can be found.
    std::string identifier() const;

    LocalParts local(Moment moment) const;
    int offsetMinutes(Moment moment) const { return local(moment).offsetMinutes; }
    // The moment at which the wall clock of this zone shows `minutes` after midnight of the
    // given calendar day. Days and minutes out of range roll over (day 0 is the day before).
    Moment wallClock(int year, int month, int day, int minutes) const;

  private:
    explicit CvlTimeZone(std::string named) : named_(std::move(named)) {}
    std::string named_;
};

}  // namespace cvl
