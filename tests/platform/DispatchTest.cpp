#include "platform/Dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

using namespace cvl;
using namespace std::chrono_literals;

TEST(Dispatch, ManualQueueRunsTasksInOrderIncludingNestedOnes) {
    Dispatch::ManualQueue q;
    std::vector<int> order;
    q.async([&] {
        order.push_back(1);
        q.async([&] { order.push_back(3); });
    });
    q.async([&] { order.push_back(2); });
    EXPECT_EQ(q.drain(), 3);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(Dispatch, DelayedTasksWaitForTheirTime) {
    Dispatch::ManualQueue q;
    bool ran = false;
    q.asyncAfter(100ms, [&] { ran = true; });
    q.drain();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(q.runUntil([&] { return ran; }, 2000ms));
}

TEST(Dispatch, SerialQueueKeepsOrderAndIsSharedByName) {
    auto& a = Dispatch::serial("test-serial");
    EXPECT_EQ(&a, &Dispatch::serial("test-serial"));
    std::mutex m;
    std::vector<int> order;
    std::atomic<int> done{0};
    for (int i = 0; i < 100; ++i) {
        a.async([&, i] {
            std::lock_guard lock(m);
            order.push_back(i);
            ++done;
        });
    }
    auto* mainQ = Dispatch::manualMain();
    ASSERT_TRUE(mainQ->runUntil([&] { return done == 100; }, 5000ms));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

TEST(Dispatch, GlobalPoolWorkHopsBackToTheMainQueue) {
    std::atomic<bool> onMain{false};
    std::thread::id mainId = std::this_thread::get_id();
    Dispatch::global().async([&] {
        Dispatch::main().async([&] { onMain = std::this_thread::get_id() == mainId; });
    });
    EXPECT_TRUE(Dispatch::manualMain()->runUntil([&] { return onMain.load(); }, 5000ms));
}
