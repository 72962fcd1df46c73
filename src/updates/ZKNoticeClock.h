// The dwell clock of one shown card: it runs while the card is on screen and pauses while
// the pointer rests on it. Times are passed in (seconds on any monotonic scale).
#pragma once

namespace cvl {

class ZKNoticeClock {
  public:
    explicit ZKNoticeClock(double dwell) : dwell_(dwell) {}

    void start(double now);
    void pause(double now);   // pointer entered the card
    void resume(double now);  // pointer left the card

    double dwell() const { return dwell_; }
    bool running() const { return running_; }
    double elapsed(double now) const;
    // For the card's progress rail, 0 to 1.
    double fraction(double now) const;
    // The dwell has run out; never while paused.
    bool isComplete(double now) const { return running_ && elapsed(now) >= dwell_; }
    // Seconds until the dwell runs out if nothing pauses it; 0 when paused or complete.
    double remaining(double now) const;

  private:
    double dwell_;
    bool running_ = false;
    double runningSince_ = 0;
    double elapsed_ = 0;
};

}  // namespace cvl
