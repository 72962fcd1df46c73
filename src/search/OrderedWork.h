// Ordered parallel work: items 0..n-1 are computed by the consuming thread and by helpers on
// the global pool, each taking the next unclaimed item, and handed to the consumer strictly in
// index order, so the consumer sees exactly what a one-by-one loop would have produced.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Dispatch.h"

namespace cvl {

template <class T>
class OrderedWork {
  public:
    // `compute` must be safe to call from several threads at once. Helpers stay at most
    // `window` items ahead of the consumer (0: no limit), which bounds memory. A consumer whose
    // next item a helper is computing waits for it, unless `consumerRunsAhead`: then it computes
    // the next unclaimed item meanwhile, for consumers that have little work of their own.
    OrderedWork(std::size_t count, std::function<T(std::size_t)> compute, std::size_t window = 0,
                bool consumerRunsAhead = false)
        : state_(std::make_shared<State>(count, std::move(compute), window, consumerRunsAhead)) {
        if (count < 2) return;
        const int helpers =
            std::clamp(static_cast<int>(std::thread::hardware_concurrency()) - 1, 0, 7);
        for (int h = 0; h < helpers; ++h)
            Dispatch::global().async([s = state_] { s->helperLoop(); });
    }
    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;
    // Stops the helpers and waits for items they are still computing.
    ~OrderedWork() { state_->finish(); }

    // The result of item i; items must be taken in increasing order. Unclaimed items are
    // computed here rather than waited for.
    T take(std::size_t i) { return state_->take(i); }

  private:
    struct State {
        State(std::size_t count, std::function<T(std::size_t)> compute, std::size_t window,
              bool runsAhead)
            : compute(std::move(compute)),
              window(window),
              runsAhead(runsAhead),
              results(count),
              ready(count, 0) {}

        std::function<T(std::size_t)> compute;
        const std::size_t window;
        const bool runsAhead;
        std::vector<T> results;
        std::vector<char> ready;
        std::size_t next = 0;      // first unclaimed item
        std::size_t consumer = 0;  // item the consumer takes next
        int running = 0;           // helpers computing an item
        bool stopped = false;
        std::mutex mutex;
        std::condition_variable changed;

        bool helperMayClaim() const {
            return stopped || next >= results.size() || window == 0 || next < consumer + window;
        }

        void store(std::size_t i, T value) {
            std::lock_guard lock(mutex);
            results[i] = std::move(value);
            ready[i] = 1;
            changed.notify_all();
        }

        void helperLoop() {
            for (;;) {
                std::size_t i;
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return helperMayClaim(); });
                    if (stopped || next >= results.size()) return;
                    i = next++;
                    ++running;
                }
                T value = compute(i);
                std::lock_guard lock(mutex);
                results[i] = std::move(value);
                ready[i] = 1;
                --running;
                changed.notify_all();
            }
        }

        T take(std::size_t i) {
            for (;;) {
                std::size_t claim;
                {
                    std::unique_lock lock(mutex);
                    consumer = i;
                    changed.notify_all();
                    if (ready[i]) {
                        consumer = i + 1;
                        changed.notify_all();
                        return std::move(results[i]);
                    }
                    const bool ahead =
                        runsAhead && next < results.size() && (window == 0 || next < i + window);
                    if (next > i && !ahead) {
                        // Claimed elsewhere: wait rather than run ahead, since such consumers
                        // have work of their own between items.
                        changed.wait(lock, [&] { return ready[i] != 0; });
                        continue;
                    }
                    claim = next++;
                }
                store(claim, compute(claim));
            }
        }

        void finish() {
            std::unique_lock lock(mutex);
            stopped = true;
            changed.notify_all();
            changed.wait(lock, [&] { return running == 0; });
        }
    };

    std::shared_ptr<State> state_;
};

}  // namespace cvl
