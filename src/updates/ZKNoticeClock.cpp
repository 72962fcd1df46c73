#include "updates/ZKNoticeClock.h"

#include <algorithm>

namespace cvl {

void ZKNoticeClock::start(double now) {
    elapsed_ = 0;
    running_ = true;
    runningSince_ = now;
}

void ZKNoticeClock::pause(double now) {
    if (!running_) return;
    elapsed_ += std::max(0.0, now - runningSince_);
    running_ = false;
}

void ZKNoticeClock::resume(double now) {
    if (running_) return;
    running_ = true;
    runningSince_ = now;
}

double ZKNoticeClock::elapsed(double now) const {
    return elapsed_ + (running_ ? std::max(0.0, now - runningSince_) : 0.0);
}

double ZKNoticeClock::fraction(double now) const {
    if (dwell_ <= 0) return 1;
    return std::clamp(elapsed(now) / dwell_, 0.0, 1.0);
}

double ZKNoticeClock::remaining(double now) const {
    if (!running_) return 0;
    return std::max(0.0, dwell_ - elapsed(now));
}

}  // namespace cvl
