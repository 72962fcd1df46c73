#include "window/FolderWatcher.h"

namespace cvl {

FolderWatcher::FolderWatcher(std::function<void()> onChange, Dispatch::Queue& queue, Clock clock)
    : onChange_(std::move(onChange)), queue_(queue), clock_(std::move(clock)) {}

FolderWatcher::~FolderWatcher() = default;

void FolderWatcher::fired() {
    if (stopped_) return;
    const auto now = clock_();
    if (!pendingSince_) pendingSince_ = now;
    ++token_;  // cancels the scheduled call
    if (now - *pendingSince_ >= kMaxWait) {
        pendingSince_.reset();
        onChange_();
        return;
    }
    std::weak_ptr<FolderWatcher> weak = weak_from_this();
    const unsigned long long token = token_;
    queue_.asyncAfter(std::chrono::duration_cast<Dispatch::Millis>(kQuiet), [weak, token] {
        auto self = weak.lock();
        if (!self || self->stopped_ || self->token_ != token) return;
        self->pendingSince_.reset();
        self->onChange_();
    });
}

void FolderWatcher::stop() {
    stopped_ = true;
    ++token_;
}

}  // namespace cvl
