#include "updates/ZKNoticeQueue.h"

#include <algorithm>

namespace cvl {

ZKNoticeQueue::Result ZKNoticeQueue::show(ZKNoticeContent content) {
    lastShown_ = content;
    return enqueue(std::move(content));
}

ZKNoticeQueue::Result ZKNoticeQueue::enqueue(ZKNoticeContent content) {
    if (content.id) {
        const auto& id = *content.id;
        queued_.erase(std::remove_if(queued_.begin(), queued_.end(),
                                     [&](const ZKNoticeContent& q) { return q.id == id; }),
                      queued_.end());
    }
    if (!showing_) {
        present(std::move(content));
        return {Outcome::presented, std::nullopt};
    }
    if (content.id && showing_->id == content.id) {
        present(std::move(content));
        return {Outcome::replacedShowing, std::nullopt};
    }
    Result result{Outcome::queued, std::nullopt};
    if (queued_.size() >= queueLimit) {
        result.dropped = std::move(queued_.front());
        queued_.pop_front();
    }
    queued_.push_back(std::move(content));
    return result;
}

std::optional<ZKNoticeContent> ZKNoticeQueue::dismiss() {
    showing_.reset();
    if (queued_.empty()) return std::nullopt;
    ZKNoticeContent next = std::move(queued_.front());
    queued_.pop_front();
    present(next);
    return next;
}

void ZKNoticeQueue::present(ZKNoticeContent content) {
    lastPresented_ = content;
    showing_ = std::move(content);
}

bool ZKNoticeRateLimit::accept(double now) {
    while (!accepted_.empty() && accepted_.front() <= now - window_) accepted_.pop_front();
    if (static_cast<int>(accepted_.size()) >= limit_) return false;
    accepted_.push_back(now);
    return true;
}

}  // namespace cvl
