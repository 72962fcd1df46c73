// The notice presenter: one floating card at a time, fed by a queue, dismissed by its dwell
// clock (held while hovered), clicked or dragged to a remembered spot. Drawing belongs to
// the host through ZKNoticeView; everything else happens here, on the main queue.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "updates/ZKNoticeClock.h"
#include "updates/ZKNoticeContent.h"
#include "updates/ZKNoticePlacement.h"
#include "updates/ZKNoticeQueue.h"

namespace cvl {

class ZKNoticeView {
  public:
    virtual ~ZKNoticeView() = default;
    virtual ZKNoticePlacement::Size cardSize(const ZKNoticeContent& content) = 0;
    virtual ZKNoticePlacement::Rect visibleFrame() = 0;
    // Shows the card (a borderless panel that never takes focus) at `origin`.
    virtual void present(const ZKNoticeContent& content, ZKNoticePlacement::Point origin) = 0;
    virtual void moveCard(ZKNoticePlacement::Point origin) = 0;
    virtual void fadeOut() = 0;
};

class ZKNotice : public std::enable_shared_from_this<ZKNotice> {
  public:
    struct Hooks {
        std::function<void(const ZKNoticeContent&)> onClick;
        // The remembered placement, and where a new one is kept (none = forget it).
        std::function<std::optional<ZKNoticePlacement::Saved>()> loadPlacement;
        std::function<void(const std::optional<ZKNoticePlacement::Saved>&)> storePlacement;
        // Seconds on a monotonic scale; the steady clock when not set.
        std::function<double()> now;
    };

    static std::shared_ptr<ZKNotice> create(std::shared_ptr<ZKNoticeView> view, Hooks hooks);

    // From any thread: hops to the main queue, then shows.
    void post(ZKNoticeContent content);
    // Main queue: remembers the content as the last shown and queues it.
    void show(ZKNoticeContent content);
    // A notice from outside the process; declined (false) beyond six in ten seconds.
    bool showFromOutside(ZKNoticeContent content);
    // Fades the card out and presents the next queued notice.
    void dismiss();

    void pointerEntered();
    void pointerLeft();
    void pressBegan(ZKNoticePlacement::Point at);
    void pressMoved(ZKNoticePlacement::Point at);
    void pressEnded();

    std::optional<ZKNoticePlacement::Saved> savedPlacement() const;
    void resetPlacement();

    const ZKNoticeQueue& queue() const { return queue_; }
    const std::optional<ZKNoticeClock>& clock() const { return clock_; }

  private:
    ZKNotice(std::shared_ptr<ZKNoticeView> view, Hooks hooks);
    double now() const;
    void presentShowing();
    void armTimer();

    std::shared_ptr<ZKNoticeView> view_;
    Hooks hooks_;
    ZKNoticeQueue queue_;
    ZKNoticeRateLimit outsideLimit_;
    std::optional<ZKNoticeClock> clock_;
    std::optional<ZKNoticePlacement::Press> press_;
    ZKNoticePlacement::Point cardOrigin_;
    unsigned long timerGeneration_ = 0;
};

}  // namespace cvl
