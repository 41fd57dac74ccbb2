#include "fakes/ManualScheduler.h"

#include <gtest/gtest.h>
#include <vector>

using namespace std::chrono_literals;
using orvi::test::ManualScheduler;

TEST(ManualScheduler, RunsDelayedWorkInTimeOrderIncludingWorkPostedByDueWorkAndRunUntilStopsAtTheTimeout) {
    ManualScheduler scheduler;
    std::vector<int> order;
    scheduler.postAfter(2s, [&] { order.push_back(2); });
    scheduler.postAfter(1s, [&] { scheduler.post([&] { order.push_back(11); }); });
    scheduler.post([&] { order.push_back(0); });

    scheduler.advance(1.5s);
    EXPECT_EQ(order, (std::vector<int>{0, 11}));
    scheduler.advance(0.5s);
    EXPECT_EQ(order, (std::vector<int>{0, 11, 2}));

    bool done = false;
    scheduler.postAfter(3s, [&] { done = true; });
    EXPECT_FALSE(scheduler.runUntil([&] { return done; }, 2s)) << "the condition never held in time";
    EXPECT_DOUBLE_EQ(scheduler.elapsed(), 4.0);
    EXPECT_TRUE(scheduler.runUntil([&] { return done; }, 2s));
}

TEST(ManualScheduler, TimersStopWhenTheirHandleIsDroppedOrCancelledEvenFromTheirOwnTask) {
    ManualScheduler scheduler;
    int fired = 0;
    {
        auto dropped = scheduler.startTimer(1s, [&] { fired += 100; });
    }
    auto cancelled = scheduler.startTimer(1s, [&] { fired += 100; });
    cancelled.cancel();
    orvi::TimerHandle handle;
    handle = scheduler.startRepeatingTimer(10s, [&] {
        if (++fired == 3)
            handle.cancel();
    });
    scheduler.advance(100s);
    EXPECT_EQ(fired, 3);
    EXPECT_FALSE(handle.isActive());
}
