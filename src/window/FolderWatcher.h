// Turns a stream of file-system events into calls of `onChange`: 90 s after the last event
// of a burst, and at least once every 300 s while events never stop.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Dispatch.h"

namespace cvl {

class FolderWatcher : public std::enable_shared_from_this<FolderWatcher> {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::seconds kQuiet{90};
    static constexpr std::chrono::seconds kMaxWait{300};

    // `queue` runs the delayed call (the main queue in the application); `clock` tells the time.
    FolderWatcher(std::function<void()> onChange, Dispatch::Queue& queue, Clock clock);
    ~FolderWatcher();

    // One delivery of events from the stream.
    void fired();
    // Cancels the scheduled call; no further onChange.
    void stop();

  private:
    std::function<void()> onChange_;
    Dispatch::Queue& queue_;
    Clock clock_;
    std::optional<std::chrono::steady_clock::time_point> pendingSince_;
    // The scheduled call runs only while its token is the current one.
    unsigned long long token_ = 0;
    bool stopped_ = false;
};

}  // namespace cvl
