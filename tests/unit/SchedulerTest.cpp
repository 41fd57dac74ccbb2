#include "fakes/ManualScheduler.h"

#include <gtest/gtest.h>
#include <vector>

using namespace std::chrono_literals;
using orvi::test::ManualScheduler;

TEST(ManualScheduler, RunsDelayedWorkInTimeOrderAsTheClockAdvances) {
    ManualScheduler scheduler;
    std::vector<int> order;
    scheduler.postAfter(2s, [&] { order.push_back(2); });
    scheduler.postAfter(1s, [&] { order.push_back(1); });
    scheduler.post([&] { order.push_back(0); });

    scheduler.advance(1.5s);
    EXPECT_EQ(order, (std::vector<int>{0, 1}));
    scheduler.advance(0.5s);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(ManualScheduler, DroppingOrCancellingAHandleStopsItsTimer) {
    ManualScheduler scheduler;
    int fired = 0;
    {
        auto dropped = scheduler.startTimer(1s, [&] { ++fired; });
    }
    auto cancelled = scheduler.startTimer(1s, [&] { ++fired; });
    cancelled.cancel();
    scheduler.advance(5s);
    EXPECT_EQ(fired, 0);
}

TEST(ManualScheduler, RepeatingTimerFiresEveryIntervalUntilCancelledFromItsOwnTask) {
    ManualScheduler scheduler;
    int fired = 0;
    orvi::TimerHandle handle;
    handle = scheduler.startRepeatingTimer(10s, [&] {
        if (++fired == 3)
            handle.cancel();
    });
    scheduler.advance(100s);
    EXPECT_EQ(fired, 3);
    EXPECT_FALSE(handle.isActive());
}

TEST(ManualScheduler, WorkPostedByDueWorkRunsInTheSameAdvance) {
    ManualScheduler scheduler;
    bool inner = false;
    scheduler.postAfter(1s, [&] { scheduler.post([&] { inner = true; }); });
    scheduler.advance(1s);
    EXPECT_TRUE(inner);
}

TEST(ManualScheduler, RunUntilStopsAtTheTimeoutWhenTheConditionNeverHolds) {
    ManualScheduler scheduler;
    bool done = false;
    scheduler.postAfter(3s, [&] { done = true; });
    EXPECT_FALSE(scheduler.runUntil([&] { return done; }, 2s));
    EXPECT_DOUBLE_EQ(scheduler.elapsed(), 2.0);
    EXPECT_TRUE(scheduler.runUntil([&] { return done; }, 2s));
}
