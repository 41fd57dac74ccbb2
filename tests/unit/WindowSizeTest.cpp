#include "core/shell/WindowSizeManager.h"
#include "core/shell/WindowSizeTracker.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"

#include <gtest/gtest.h>
#include <limits>

using namespace std::chrono_literals;
using namespace orvi;
using orvi::test::LogCapture;
using orvi::test::ManualScheduler;
using orvi::test::MemoryPreferencesStore;

TEST(WindowSizeManager, OnlyTwoUsableStoredNumbersReplaceTheDefault) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::optional<double> width, height;
        WindowSize expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, {450, 800}},
        {0, 700, {450, 800}},
        {std::nullopt, 700, {450, 800}},
        {500, -3, {450, 800}},
        {nan, 700, {450, 800}},
        {inf, 700, {450, 800}},
        {500.5, 900.25, {500.5, 900.25}},
    };
    for (const auto& c : cases) {
        MemoryPreferencesStore prefs;
        if (c.width)
            prefs.setNumber(WindowSizeManager::windowWidthKey, *c.width);
        if (c.height)
            prefs.setNumber(WindowSizeManager::windowHeightKey, *c.height);
        WindowSizeManager manager(prefs);
        EXPECT_EQ(manager.getWindowSize(), c.expected)
            << c.width.value_or(-1) << "x" << c.height.value_or(-1);
    }
}

TEST(WindowSizeManager, SavingKeepsFractionsRefusesNonFiniteSizesAndNeverLogsAFailedWriteAsSaved) {
    MemoryPreferencesStore prefs;
    WindowSizeManager manager(prefs);
    LogCapture log;
    manager.saveWindowSize(450.7, 800.2);
    EXPECT_EQ(manager.getWindowSize(), (WindowSize{450.7, 800.2}));

    manager.saveWindowSize(std::numeric_limits<double>::quiet_NaN(), 10);
    EXPECT_EQ(manager.getWindowSize(), (WindowSize{450.7, 800.2})) << "a non-finite size is refused";

    prefs.setFailWrites(true);
    manager.saveWindowSize(600, 900);
    EXPECT_TRUE(log.contains("❌ Failed to save window size: 600x900"));
    EXPECT_FALSE(log.contains("💾 Saved window size: 600x900"));
}

// Closing saves at once, but a pending save does nothing once the window or the tracker is gone.
TEST(WindowSizeTracker, OpensAtTheRememberedSizeSavesOnceASettledResizePastFivePointsAndOnClosing) {
    MemoryPreferencesStore prefs;
    prefs.setNumber(WindowSizeManager::windowWidthKey, 500);
    prefs.setNumber(WindowSizeManager::windowHeightKey, 900);
    ManualScheduler scheduler;
    WindowSizeManager manager{prefs};
    std::optional<WindowSize> current;
    WindowSizeTracker tracker{manager, scheduler, [&] { return current; }};
    LogCapture log;
    const auto stored = [&] { return manager.getWindowSize(); };
    const auto resizeTo = [&](double w, double h) {
        current = WindowSize{w, h};
        tracker.windowDidResize();
    };

    EXPECT_EQ(tracker.setUpWindow(), (WindowSize{500, 900}));
    struct Step {
        WindowSize size;
        WindowSize expectedStored;
    };
    const Step steps[] = {
        {{504, 904}, {500, 900}}, // 4 points each way: nothing
        {{505, 895}, {500, 900}}, // exactly 5: nothing
        {{506, 900}, {506, 900}}, // 6 in one direction: both numbers
        {{506, 894.5}, {506, 894.5}},
    };
    for (const auto& step : steps) {
        resizeTo(step.size.width, step.size.height);
        scheduler.advance(0.5s);
        EXPECT_EQ(stored(), step.expectedStored) << step.size.width << "x" << step.size.height;
    }

    log.clear();
    for (int i = 1; i <= 5; ++i) {
        resizeTo(500 + 20 * i, 900);
        scheduler.advance(0.4s);
    }
    EXPECT_EQ(log.lines().size(), 0u) << "still resizing";
    scheduler.advance(0.1s);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"💾 Saved window size: 600x900"}));

    resizeTo(602, 901);
    tracker.windowWillClose();
    EXPECT_EQ(stored(), (WindowSize{602, 901}));
    current.reset();
    scheduler.advance(1s);
    EXPECT_EQ(log.count("💾 Saved window size: 602x901"), 1u) << "closing cancels the pending save";

    resizeTo(700, 1000);
    current.reset();
    scheduler.advance(1s);
    {
        std::optional<WindowSize> size = WindowSize{800, 1000};
        WindowSizeTracker shortLived(manager, scheduler, [&size] { return size; });
        shortLived.setUpWindow();
        shortLived.windowDidResize();
    }
    scheduler.advance(1s);
    EXPECT_EQ(stored(), (WindowSize{602, 901}));
}
