#include "updates/ZKNotice.h"

#include <chrono>
#include <cmath>

#include "platform/Dispatch.h"

namespace cvl {

using namespace ZKNoticePlacement;

std::shared_ptr<ZKNotice> ZKNotice::create(std::shared_ptr<ZKNoticeView> view, Hooks hooks) {
    return std::shared_ptr<ZKNotice>(new ZKNotice(std::move(view), std::move(hooks)));
}

ZKNotice::ZKNotice(std::shared_ptr<ZKNoticeView> view, Hooks hooks)
    : view_(std::move(view)), hooks_(std::move(hooks)) {}

double ZKNotice::now() const {
    if (hooks_.now) return hooks_.now();
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void ZKNotice::post(ZKNoticeContent content) {
    std::weak_ptr<ZKNotice> weak = weak_from_this();
    Dispatch::main().async([weak, content = std::move(content)]() mutable {
        if (auto self = weak.lock()) self->show(std::move(content));
    });
}

void ZKNotice::show(ZKNoticeContent content) {
    auto result = queue_.show(std::move(content));
    if (result.outcome != ZKNoticeQueue::Outcome::queued) presentShowing();
}

bool ZKNotice::showFromOutside(ZKNoticeContent content) {
    if (!outsideLimit_.accept(now())) return false;
    show(std::move(content));
    return true;
}

void ZKNotice::dismiss() {
    if (!queue_.showing()) return;
    ++timerGeneration_;
    clock_.reset();
    press_.reset();
    if (view_) view_->fadeOut();
    if (queue_.dismiss()) presentShowing();
}

void ZKNotice::presentShowing() {
    const auto& content = *queue_.showing();
    ++timerGeneration_;
    press_.reset();
    if (view_) {
        cardOrigin_ = place(savedPlacement(), view_->cardSize(content), view_->visibleFrame());
        view_->present(content, cardOrigin_);
    }
    clock_.emplace(content.dwellSeconds());
    if (!content.isSticky()) {
        clock_->start(now());
        armTimer();
    }
}

void ZKNotice::armTimer() {
    if (!clock_ || !clock_->running()) return;
    const unsigned long generation = ++timerGeneration_;
    const double wait = clock_->remaining(now());
    std::weak_ptr<ZKNotice> weak = weak_from_this();
    Dispatch::main().asyncAfter(
        Dispatch::Millis(static_cast<long long>(std::ceil(wait * 1000))), [weak, generation] {
            auto self = weak.lock();
            if (!self || self->timerGeneration_ != generation || !self->clock_) return;
            if (self->clock_->isComplete(self->now()))
                self->dismiss();
            else
                self->armTimer();
        });
}

void ZKNotice::pointerEntered() {
    if (!clock_ || !clock_->running()) return;
    clock_->pause(now());
    ++timerGeneration_;
}

void ZKNotice::pointerLeft() {
    if (!clock_ || clock_->running() || !queue_.showing() || queue_.showing()->isSticky()) return;
    clock_->resume(now());
    armTimer();
}

void ZKNotice::pressBegan(Point at) {
    if (queue_.showing()) press_.emplace(at);
}

void ZKNotice::pressMoved(Point at) {
    if (!press_ || !view_) return;
    press_->moveTo(at);
    if (press_->isDrag()) {
        auto offset = press_->offset();
        view_->moveCard({cardOrigin_.x + offset.x, cardOrigin_.y + offset.y});
    }
}

void ZKNotice::pressEnded() {
    if (!press_ || !queue_.showing()) return;
    auto outcome = press_->release();
    auto offset = press_->offset();
    press_.reset();
    if (outcome == Press::Outcome::click) {
        ZKNoticeContent content = *queue_.showing();
        if (hooks_.onClick) hooks_.onClick(content);
        dismiss();
        return;
    }
    if (outcome == Press::Outcome::drag && view_) {
        const auto card = view_->cardSize(*queue_.showing());
        const auto frame = view_->visibleFrame();
        Saved saved = settle({cardOrigin_.x + offset.x, cardOrigin_.y + offset.y}, card, frame);
        if (hooks_.storePlacement) hooks_.storePlacement(saved);
        cardOrigin_ = origin(saved.spot, card, frame);
        view_->moveCard(cardOrigin_);
    }
}

std::optional<Saved> ZKNotice::savedPlacement() const {
    return hooks_.loadPlacement ? hooks_.loadPlacement() : std::nullopt;
}

void ZKNotice::resetPlacement() {
    if (hooks_.storePlacement) hooks_.storePlacement(std::nullopt);
}

}  // namespace cvl
