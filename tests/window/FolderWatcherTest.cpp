// Timing of folder-change notifications, with a clock and a queue the test controls.
#include <gtest/gtest.h>

#include "window/FolderWatcher.h"

namespace cvl {
namespace {

using namespace std::chrono_literals;
using TimePoint = std::chrono::steady_clock::time_point;

// Delayed tasks run when the test moves the clock past their time.
class FakeTimeline : public Dispatch::Queue {
  public:
    TimePoint now{};
    void async(Dispatch::Task task) override { asyncAfter(0ms, std::move(task)); }
    void asyncAfter(Dispatch::Millis delay, Dispatch::Task task) override {
        tasks_.push_back({now + delay, std::move(task)});
    }
    void advance(std::chrono::seconds by) {
        now += by;
        for (size_t i = 0; i < tasks_.size(); ++i) {
            if (tasks_[i].first <= now && tasks_[i].second) {
                auto t = std::move(tasks_[i].second);
                tasks_[i].second = nullptr;
                t();
            }
        }
    }

  private:
    std::vector<std::pair<TimePoint, Dispatch::Task>> tasks_;
};

struct WatcherUnderTest {
    FakeTimeline time;
    int changes = 0;
    std::shared_ptr<FolderWatcher> watcher =
        std::make_shared<FolderWatcher>([this] { ++changes; }, time, [this] { return time.now; });
};

TEST(FolderWatcherTiming, ReportsNinetySecondsAfterTheLastEventOfABurst) {
    WatcherUnderTest w;
    w.watcher->fired();
    w.time.advance(60s);
    w.watcher->fired();  // restarts the quiet period
    w.time.advance(89s);
    EXPECT_EQ(w.changes, 0);
    w.time.advance(1s);
    EXPECT_EQ(w.changes, 1);
    w.time.advance(600s);
    EXPECT_EQ(w.changes, 1);
}

TEST(FolderWatcherTiming, EventsThatNeverStopAreReportedEveryFiveMinutes) {
    WatcherUnderTest w;
    for (int i = 0; i < 10; ++i) {  // an event every 60 s, 0..540 s
        w.watcher->fired();
        w.time.advance(60s);
    }
    // 300 s after the first event a delivery reports at once; the next burst starts at 360 s.
    EXPECT_EQ(w.changes, 1);
    w.time.advance(90s);
    EXPECT_EQ(w.changes, 2);  // the quiet call after the last event
}

TEST(FolderWatcherTiming, StoppingCancelsTheScheduledReport) {
    WatcherUnderTest w;
    w.watcher->fired();
    w.watcher->stop();
    w.time.advance(120s);
    w.watcher->fired();
    w.time.advance(400s);
    EXPECT_EQ(w.changes, 0);
    // A watcher that is gone never reports either.
    WatcherUnderTest gone;
    gone.watcher->fired();
    gone.watcher.reset();
    gone.time.advance(120s);
    EXPECT_EQ(gone.changes, 0);
}

}  // namespace
}  // namespace cvl
