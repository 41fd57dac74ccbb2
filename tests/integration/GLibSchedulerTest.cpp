#include "platform/linux/GLibScheduler.h"

#include <atomic>
#include <functional>
#include <glib.h>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;
using orvi::platform::GLibScheduler;

TEST(GLibScheduler, BackgroundWorkRunsOnceAfterDrainingAndShuttingDownWaitsForIt) {
    std::atomic<int> finished = 0;
    {
        GLibScheduler drained;
        drained.drainBackgroundWork();
        int runs = 0;
        drained.runInBackground([&] { ++runs; });
        EXPECT_EQ(runs, 1) << "work handed over after draining still runs, exactly once";
        GLibScheduler scheduler;
        for (int i = 0; i < 6; ++i)
            scheduler.runInBackground([&] {
                std::this_thread::sleep_for(50ms);
                ++finished;
            });
    }
    EXPECT_EQ(finished.load(), 6) << "no work is left running against a destroyed owner";
}

TEST(GLibScheduler, ACancelledTimerLetsGoOfItsTaskAtOnce) {
    GLibScheduler scheduler;
    for (const bool repeating : {false, true}) {
        SCOPED_TRACE(repeating ? "repeating" : "one-shot");
        auto token = std::make_shared<int>(0);
        std::weak_ptr<int> watched = token;
        std::function<void()> task = [token] {};
        token.reset();
        orvi::TimerHandle handle =
            repeating ? scheduler.startRepeatingTimer(3600s, task) : scheduler.startTimer(3600s, task);
        task = {};
        EXPECT_FALSE(watched.expired());
        handle.cancel();
        EXPECT_TRUE(watched.expired()) << "the task's captures went with the cancel, not at the next tick";
    }
}

TEST(GLibScheduler, CancellingAfterAOneShotRanOrFromItsOwnTaskIsHarmless) {
    GLibScheduler scheduler;
    int ticks = 0;
    orvi::TimerHandle once = scheduler.startTimer(0s, [&] { ++ticks; });
    orvi::TimerHandle repeating;
    repeating = scheduler.startRepeatingTimer(0.001s, [&] {
        if (++ticks >= 3)
            repeating.cancel();
    });
    scheduler.runUntil([&] { return ticks >= 3 && !repeating.isActive(); }, 2s);
    once.cancel();
    scheduler.runUntil([] { return false; }, 0.05s);
    EXPECT_EQ(ticks, 3);
}
