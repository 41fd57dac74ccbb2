#include "core/shell/VPNWarningFlow.h"

#include "fakes/ManualScheduler.h"
#include "support/PageFakes.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

namespace {

struct FlowFixture {
    FlowFixture() {
        flow = std::make_unique<VPNWarningFlow>(
            vpn,
            VPNWarningFlow::Hooks{[this] { return ignored; }, [this] { ignored = true; }, [this] { ++shown; },
                                  [this](bool ignore, bool warnAgain) {
                                      retries.push_back(ignore);
                                      EXPECT_FALSE(warnAgain) << "closing the warning must not reopen it";
                                  }});
    }
    void activate() {
        flow->windowActiveChanged(false);
        flow->windowActiveChanged(true);
        scheduler.runPending();
    }

    ManualScheduler scheduler;
    FakeVPNDetection vpn{scheduler};
    bool ignored = false;
    int shown = 0;
    std::vector<bool> retries;
    std::unique_ptr<VPNWarningFlow> flow;
};

} // namespace

TEST(VPNWarningFlow, ReturningToTheWindowWarnsOnlyAboutAVPNNotIgnoredWhileTheFlowLives) {
    struct Case {
        bool vpnUp;
        bool ignored;
        int shown;
    };
    for (const auto& c : {Case{true, false, 1}, Case{true, true, 0}, Case{false, false, 0}}) {
        FlowFixture f;
        f.vpn.vpn = c.vpnUp;
        f.ignored = c.ignored;
        f.flow->windowActiveChanged(true);
        f.scheduler.runPending();
        EXPECT_EQ(f.vpn.checks, 0) << "the launch has its own check";
        f.activate();
        f.activate();
        EXPECT_EQ(f.vpn.checks, 2);
        EXPECT_EQ(f.shown, c.shown) << "one warning at a time";
        EXPECT_EQ(f.retries.size(), c.shown ? 0u : 2u) << "without a warning a held page may load";
    }
    FlowFixture f;
    f.vpn.vpn = true;
    f.flow->windowActiveChanged(true);
    f.flow->windowActiveChanged(true);
    f.flow.reset();
    f.scheduler.runPending();
    EXPECT_EQ(f.shown, 0) << "an answer after the flow is gone is dropped";
}

TEST(VPNWarningFlow, AWarningIgnoredFromNowOnIsNotShownAgainAndLetsEveryLoadThrough) {
    FlowFixture f;
    f.flow->loadAskedForWarning();
    f.flow->warningClosed(VPNWarningFlow::Response::ignoreFromNowOn);
    f.flow->loadAskedForWarning();
    EXPECT_EQ(f.shown, 1);
    EXPECT_EQ(f.retries, (std::vector<bool>{true, true}));
}
