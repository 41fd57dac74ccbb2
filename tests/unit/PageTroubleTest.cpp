#include "support/CoordinatorFixture.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

TEST(PageTrouble, EachKindOfFailedLoadShowsItsStateAndOnlyThoseAreRetried) {
    struct Case {
        const char* name;
        Error error; // unless the server answers with a status
        int status;
        std::optional<PageFailure> failure;
    };
    const std::string url = engine::kURLErrorDomain;
    const Case cases[] = {
        {"time-out", {url, engine::kURLErrorTimedOut, ""}, 0, PageFailure::noResponse},
        {"refused", {url, engine::kURLErrorCannotConnectToHost, ""}, 0, PageFailure::noConnection},
        {"reset", {"g-io-error-quark", 44, "Connection reset"}, 0, PageFailure::noConnection},
        {"server error", {}, 503, PageFailure::serverError},
        {"not found is a page", {}, 404, std::nullopt},
        {"cancelled by a switch", {url, engine::kURLErrorCancelled, ""}, 0, std::nullopt},
        {"turned into a download",
         {engine::kWebKitErrorDomain, engine::kWebKitErrorFrameLoadInterruptedByPolicyChange, ""},
         0,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CoordinatorFixture f;
        if (c.status)
            f.serverAnswers(c.status);
        else
            f.webView->failProvisionalNavigation(c.error);
        EXPECT_EQ(f.failure(), c.failure);
        EXPECT_EQ(f.shown.size(), c.failure ? 1u : 0u);
        if (c.failure == PageFailure::serverError) {
            EXPECT_NE(f.coordinator->trouble()->reason().find("503"), std::string::npos);
        }
        f.scheduler.advance(5s);
        EXPECT_EQ(f.originLoads(), c.failure ? 1u : 0u);
    }
}

TEST(PageTrouble,
     RetriesBackOffUntilALoadSucceedsWhichClearsTheStateAndStartsOverAndTheNetworkComingBackRetriesAtOnce) {
    CoordinatorFixture f;
    f.networkBack.emit();
    EXPECT_EQ(f.originLoads(), 0u) << "no trouble, no retry";
    std::size_t loads = 0;
    for (auto delay : {5s, 15s, 60s, 300s, 300s}) {
        f.fail(engine::kURLErrorTimedOut);
        f.scheduler.advance(delay - 500ms);
        EXPECT_EQ(f.originLoads(), loads) << delay.count();
        f.scheduler.advance(500ms);
        EXPECT_EQ(f.originLoads(), ++loads) << delay.count();
    }
    f.webView->finishNavigation(kCoordinatedPage);
    EXPECT_EQ(f.failure(), std::nullopt);
    ASSERT_FALSE(f.shown.empty());
    EXPECT_EQ(f.shown.back(), std::nullopt);
    f.scheduler.advance(1h);
    EXPECT_EQ(f.originLoads(), loads);

    f.fail();
    f.networkBack.emit();
    EXPECT_EQ(f.originLoads(), loads + 1) << "success starts the back-off over";
    EXPECT_TRUE(f.failure()) << "the state stays until a load succeeds";
    f.fail();
    f.scheduler.advance(15s);
    EXPECT_EQ(f.originLoads(), loads + 2) << "the back-off goes on where it was";
}

TEST(PageTrouble, CrashesReloadWithBackOffAndTheFourthWithinTenSecondsAsksForAReloadUntilTheWindowPasses) {
    CoordinatorFixture f;
    f.webView->currentURL = kCoordinatedPage;
    for (auto delay : {1s, 2s, 4s}) {
        const int before = f.webView->reloadCount;
        f.webView->terminateContentProcess();
        f.scheduler.advance(delay - 100ms);
        EXPECT_EQ(f.webView->reloadCount, before) << delay.count();
        f.scheduler.advance(100ms);
        EXPECT_EQ(f.webView->reloadCount, before + 1) << delay.count();
    }
    EXPECT_EQ(f.failure(), std::nullopt) << "crashes that reload are no trouble yet";
    f.webView->terminateContentProcess();
    ASSERT_EQ(f.failure(), PageFailure::keepsCrashing);
    EXPECT_NE(f.coordinator->trouble()->actionLabel(), PageTroubleState{}.actionLabel());

    f.networkBack.emit();
    f.scheduler.advance(10min);
    EXPECT_EQ(f.webView->reloadCount, 3) << "a crashing page reloads only when asked";
    f.coordinator->retryAfterTrouble();
    EXPECT_EQ(f.webView->reloadCount, 4);
    f.webView->finishNavigation(kCoordinatedPage);
    EXPECT_EQ(f.failure(), std::nullopt);

    f.webView->terminateContentProcess();
    f.scheduler.advance(1s);
    EXPECT_EQ(f.webView->reloadCount, 5) << "after ten quiet seconds a crash reloads again";
    EXPECT_EQ(f.failure(), std::nullopt);
}
