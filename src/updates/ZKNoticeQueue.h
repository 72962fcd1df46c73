// One card at a time: the card showing, a short queue behind it with replacement by id, and
// the rate limit on notices that come from outside the process.
#pragma once

#include <deque>
#include <optional>

#include "updates/ZKNoticeContent.h"

namespace cvl {

class ZKNoticeQueue {
  public:
    static constexpr size_t queueLimit = 4;

    enum class Outcome { presented, replacedShowing, queued };
    struct Result {
        Outcome outcome;
        std::optional<ZKNoticeContent> dropped;  // the oldest queued notice, when full
    };

    // Remembers the content as the last shown, then enqueues it.
    Result show(ZKNoticeContent content);
    // A newer notice replaces queued ones with its id; it shows at once when no card is up,
    // or in place of a card with the same id; otherwise it waits, dropping the oldest
    // waiting notice when the queue already holds four.
    Result enqueue(ZKNoticeContent content);
    // The showing card goes; returns the next card, which is now showing.
    std::optional<ZKNoticeContent> dismiss();

    const std::optional<ZKNoticeContent>& showing() const { return showing_; }
    const std::deque<ZKNoticeContent>& queued() const { return queued_; }
    const std::optional<ZKNoticeContent>& lastShown() const { return lastShown_; }
    const std::optional<ZKNoticeContent>& lastPresented() const { return lastPresented_; }

  private:
    void present(ZKNoticeContent content);

    std::optional<ZKNoticeContent> showing_;
    std::deque<ZKNoticeContent> queued_;
    std::optional<ZKNoticeContent> lastShown_;
    std::optional<ZKNoticeContent> lastPresented_;
};

// At most `limit` notices accepted in any window of `seconds`; the rest are declined.
class ZKNoticeRateLimit {
  public:
    static constexpr int defaultLimit = 6;
    static constexpr double defaultWindow = 10;

    explicit ZKNoticeRateLimit(int limit = defaultLimit, double seconds = defaultWindow)
        : limit_(limit), window_(seconds) {}
    bool accept(double now);

  private:
    int limit_;
    double window_;
    std::deque<double> accepted_;
};

}  // namespace cvl
