#include "core/shell/TerminationSave.h"

#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace orvi;
using orvi::test::LogCapture;
using orvi::test::ManualScheduler;
using Started = TerminationSave::Started;

namespace {

const std::string kFirstLine = "🛑 Application will terminate - saving cookies and storage...";

} // namespace

TEST(TerminationSave, WithNothingToSaveOnlyTheFirstLineAndTheWindowSizeAppear) {
    ManualScheduler scheduler;
    LogCapture log;
    TerminationSave save(scheduler);
    save.setWindowSizeSave([] { orvi::logLine("💾 Saved window size: 450x800"); });
    save.addHook([](TerminationSave::Done) { return Started::nothingToSave; });
    EXPECT_TRUE(save.run());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{kFirstLine, "💾 Saved window size: 450x800"}));
    EXPECT_DOUBLE_EQ(scheduler.elapsed(), 0.0) << "no wait without a save";
}

TEST(TerminationSave, WaitsForEverySaveDeliveredThroughTheMainQueue) {
    ManualScheduler scheduler;
    LogCapture log;
    TerminationSave save(scheduler);
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
    EXPECT_NEAR(scheduler.elapsed(), 1.2, 1e-9) << "the wait ends with the last save, not at the time-out";
}

TEST(TerminationSave, ASaveThatNeverCompletesDelaysByTwoSecondsAndIsReported) {
    ManualScheduler scheduler;
    LogCapture log;
    TerminationSave::Done kept;
    {
        TerminationSave save(scheduler);
        save.addHook([&](TerminationSave::Done done) {
            kept = done;
            return Started::saving;
        });
        save.addHook([&scheduler](TerminationSave::Done done) {
            scheduler.postAfter(0.1s, done);
            return Started::saving;
        });
        EXPECT_FALSE(save.run());
        EXPECT_DOUBLE_EQ(scheduler.elapsed(), 2.0);
        EXPECT_TRUE(save.run()) << "it runs once";
        EXPECT_EQ(log.count(kFirstLine), 1u);
    }
    kept(); // a completion arriving after the wait gave up is harmless
}
