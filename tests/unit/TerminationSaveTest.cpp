#include "core/shell/TerminationSave.h"

#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace orvi;
using orvi::test::LogCapture;
using orvi::test::ManualScheduler;
using Started = TerminationSave::Started;

// A hook with nothing to save must not hold the wait until the time-out.
TEST(TerminationSave, SavesTheWindowSizeOnceAndWaitsForEverySaveDeliveredThroughTheMainQueue) {
    ManualScheduler scheduler;
    LogCapture log;
    TerminationSave save(scheduler);
    int windowSaves = 0;
    save.setWindowSizeSave([&] { ++windowSaves; });
    save.addHook([](TerminationSave::Done) { return Started::nothingToSave; });
    for (double delay : {0.3, 1.2}) {
        save.addHook([&scheduler, delay](TerminationSave::Done done) {
            scheduler.postAfter(Duration(delay), done);
            return Started::saving;
        });
    }
    save.addHook([](TerminationSave::Done done) {
        done();
        done(); // a second call must not count twice
        return Started::saving;
    });
    EXPECT_TRUE(save.run());
    EXPECT_EQ(windowSaves, 1);
    EXPECT_NEAR(scheduler.elapsed(), 1.2, 1e-9) << "the wait ends with the last save, not at the time-out";
}

TEST(TerminationSave, ASaveThatNeverCompletesDelaysByTwoSecondsAndRunsOnce) {
    ManualScheduler scheduler;
    LogCapture log;
    TerminationSave::Done kept;
    int starts = 0;
    {
        TerminationSave save(scheduler);
        save.addHook([&](TerminationSave::Done done) {
            ++starts;
            kept = done;
            return Started::saving;
        });
        EXPECT_FALSE(save.run());
        EXPECT_DOUBLE_EQ(scheduler.elapsed(), 2.0);
        EXPECT_TRUE(save.run());
        EXPECT_EQ(starts, 1);
    }
    kept(); // a completion arriving after the wait gave up is harmless
}
