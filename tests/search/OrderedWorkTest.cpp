// Ordered parallel work: results arrive in index order whoever computes them, helpers never run
// further ahead than the window, and nothing is computed after the consumer is done.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "search/OrderedWork.h"

using namespace cvl;

// Also when the consumer computes later items while a helper holds its next one.
TEST(OrderedWork, DeliversEveryItemInOrderWithinTheWindow) {
    for (bool runsAhead : {false, true}) {
        SCOPED_TRACE(runsAhead ? "consumer runs ahead" : "consumer waits");
        std::atomic<int> taken{0};
        std::atomic<int> maxAhead{0};
        std::atomic<int> computed{0};
        {
            OrderedWork<std::string> work(
                200,
                [&](std::size_t i) {
                    int ahead = static_cast<int>(i) - taken.load();
                    int seen = maxAhead.load();
                    while (ahead > seen && !maxAhead.compare_exchange_weak(seen, ahead)) {
                    }
                    // Uneven work, so that helpers and the consumer finish out of order.
                    if (i % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
                    ++computed;
                    return "item " + std::to_string(i);
                },
                4, runsAhead);
            for (std::size_t i = 0; i < 150; ++i) {
                EXPECT_EQ(work.take(i), "item " + std::to_string(i));
                taken = static_cast<int>(i) + 1;
            }
        }
        // The last 50 items were never asked for: at most a window's worth was computed ahead.
        const int after = computed.load();
        EXPECT_GE(after, 150);
        EXPECT_LE(after, 150 + 4);
        EXPECT_LE(maxAhead.load(), 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(computed.load(), after);
    }
}
