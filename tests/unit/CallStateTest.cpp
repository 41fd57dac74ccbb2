#include "core/page/CallState.h"

#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

struct CallFixture {
    CallFixture() {
        state.onCallStateChanged = [this](bool active) { changes.push_back(active); };
    }
    void report(const std::string& context, bool active) {
        EXPECT_TRUE(state.handleMessage({{"active", active}, {"contextId", context}}));
    }
    void gesture() { state.handleMessage({{"mediaIntent", true}}); }
    void hangUp() { state.handleMessage({{"callEndIntent", true}}); }

    LogCapture log;
    ManualScheduler scheduler;
    CallState state{scheduler};
    std::vector<bool> changes;
};

} // namespace

TEST(CallState, AnInactiveReportEndsTheCallSoonAfterAHangUpGestureAndOnlyAfterTheGracePeriodOtherwise) {
    struct Case {
        bool hangUp;
        Duration hangUpAgo;
        Duration stillOn;
        Duration over;
    };
    // A hang-up long ago no longer shortens the grace period.
    for (const auto& c :
         {Case{true, 0s, 0.2s, 0.1s}, Case{false, 0s, 11.9s, 0.2s}, Case{true, 6s, 11.9s, 0.2s}}) {
        CallFixture f;
        f.report("ctx", true);
        if (c.hangUp)
            f.hangUp();
        f.scheduler.advance(c.hangUpAgo);
        f.report("ctx", false);
        f.scheduler.advance(c.stillOn);
        EXPECT_TRUE(f.state.hasActiveCall()) << c.hangUp;
        f.scheduler.advance(c.over);
        EXPECT_FALSE(f.state.hasActiveCall()) << c.hangUp;
        EXPECT_EQ(f.changes, (std::vector<bool>{true, false}));
    }
}

TEST(CallState, CaptureIsDecidedByTheProfileTheCallAndARecentGesture) {
    struct Case {
        const char* what;
        bool callsEnabled;
        bool activeCall;
        std::optional<Duration> sinceGesture;
        bool granted;
    };
    const Case cases[] = {
        {"calls disabled, even during a call", false, true, 1s, false},
        {"during a call", true, true, std::nullopt, true},
        {"3 s after a call gesture", true, false, 3s, true},
        {"20 s after a call gesture", true, false, 20s, true},
        {"21 s after a call gesture", true, false, 21s, false},
        {"no call and no gesture", true, false, std::nullopt, false},
    };
    for (const auto& c : cases) {
        CallFixture f;
        if (c.sinceGesture) {
            f.gesture();
            f.scheduler.advance(*c.sinceGesture);
        }
        if (c.activeCall)
            f.report("ctx", true);
        EXPECT_EQ(f.state.mayCapture(c.callsEnabled, "Работа"), c.granted) << c.what;
    }
}

TEST(CallState, SwitchingContextsOrAFloodOfThemKeepsTheCallMalformedMessagesChangeNothingAndAResetEndsIt) {
    CallFixture f;
    for (const Json& body : {Json("active"), Json{{"active", "true"}, {"contextId", "a"}},
                             Json{{"active", true}, {"contextId", 5}}, Json{{"active", true}}, Json::array()})
        EXPECT_FALSE(f.state.handleMessage(body)) << body.dump();
    EXPECT_FALSE(f.state.hasActiveCall());

    // From audio to video, then between frames, without a change reported.
    f.report("audio", true);
    f.report("audio", false);
    f.scheduler.advance(3s);
    f.report("video", true);
    f.scheduler.advance(60s);
    f.report("frame", true);
    f.report("video", false);
    f.scheduler.advance(30s);
    EXPECT_TRUE(f.state.hasActiveCall()) << "either frame keeps the call";
    EXPECT_EQ(f.changes, std::vector<bool>{true});
    for (int i = 0; i < 10000; ++i)
        f.state.handleMessage({{"active", false}, {"contextId", "ctx" + std::to_string(i)}});
    f.scheduler.advance(60s);
    EXPECT_TRUE(f.state.hasActiveCall()) << "an active context must survive a flood of new ones";
    f.report("frame", false);
    f.scheduler.advance(12.1s);
    EXPECT_FALSE(f.state.hasActiveCall()) << "the last context going ends the call";

    f.report("call", true);
    f.gesture();
    f.state.reset();
    EXPECT_FALSE(f.state.hasActiveCall()) << "the page going away ends the call at once";
    EXPECT_FALSE(f.state.mayCapture(true, "Работа")) << "and the gesture window";
    const std::vector<bool> changes = {true, false, true, false};
    EXPECT_EQ(f.changes, changes);
    f.scheduler.advance(30s);
    EXPECT_EQ(f.changes, changes);
}
