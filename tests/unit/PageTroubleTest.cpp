#include "core/page/OrviWebCoordinator.h"
#include "core/page/PageDownloads.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewSessions.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/RecordingFileSaving.h"
#include "support/PageFakes.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

const std::string kPage = "https://web.orvi.example/";

struct TroubleFixture {
    TroubleFixture() {
        coordinator = OrviWebCoordinator::create(
            profile, std::make_shared<NavigationPolicyService>(OrviDomains::defaults(), true), unread,
            SessionSync{},
            CoordinatorContext{
                scheduler,
                OrviDomains::defaults(),
                sessions,
                downloads,
                {},
                {},
                [this](std::function<void()> slot) { return networkBack.connect([slot] { slot(); }); }});
        webView = std::static_pointer_cast<FakeWebView>(engine.makeWebView({engine.dataStore("p")}));
        coordinator->attach(webView, placement);
        webView->setNavigationDelegate(coordinator.get());
        coordinator->onTroubleChanged = [this](const auto& state) { shown.push_back(state); };
    }

    std::size_t originLoads() const {
        return std::count_if(webView->loads.begin(), webView->loads.end(), [](const engine::Request& r) {
            return r.url == OrviDomains::defaults().serviceOrigin();
        });
    }
    void fail(int code = engine::kURLErrorCannotConnectToHost) {
        webView->failProvisionalNavigation({engine::kURLErrorDomain, code, ""});
    }
    void serverAnswers(int status) {
        webView->startProvisionalNavigation();
        engine::NavigationResponse response;
        response.url = kPage;
        response.statusCode = status;
        response.mimeType = "text/html";
        webView->decideResponse(response);
        webView->finishNavigation(kPage);
    }
    std::optional<PageFailure> failure() const {
        const auto& state = coordinator->trouble();
        return state ? std::optional(state->failure) : std::nullopt;
    }

    LogCapture log;
    ManualScheduler scheduler;
    FakeEngine engine;
    WebViewSessions sessions;
    PageDownloads downloads{std::make_shared<RecordingFileSaving>(),
                            {std::filesystem::temp_directory_path(), std::filesystem::temp_directory_path()}};
    std::shared_ptr<UnreadDetectionService> unread = UnreadDetectionService::create();
    std::shared_ptr<FakePlacement> placement = std::make_shared<FakePlacement>();
    Signal<> networkBack;
    Profile profile = makeProfile("Работа");
    std::shared_ptr<OrviWebCoordinator> coordinator;
    std::shared_ptr<FakeWebView> webView;
    std::vector<std::optional<PageTroubleState>> shown;
};

} // namespace

TEST(PageTrouble, EachKindOfFailedLoadShowsItsStateAndOnlyThoseAreRetried) {
    struct Case {
        const char* name;
        std::function<void(TroubleFixture&)> happen;
        std::optional<PageFailure> failure;
    };
    const std::vector<Case> cases = {
        {"time-out", [](auto& f) { f.fail(engine::kURLErrorTimedOut); }, PageFailure::noResponse},
        {"refused", [](auto& f) { f.fail(); }, PageFailure::noConnection},
        {"reset",
         [](auto& f) {
             f.webView->failProvisionalNavigation({"g-io-error-quark", 44, "Connection reset"});
         },
         PageFailure::noConnection},
        {"server error", [](auto& f) { f.serverAnswers(500); }, PageFailure::serverError},
        {"not found is a page", [](auto& f) { f.serverAnswers(404); }, std::nullopt},
        {"cancelled by a switch", [](auto& f) { f.fail(engine::kURLErrorCancelled); }, std::nullopt},
        {"turned into a download",
         [](auto& f) {
             f.webView->failProvisionalNavigation(
                 {engine::kWebKitErrorDomain, engine::kWebKitErrorFrameLoadInterruptedByPolicyChange, ""});
         },
         std::nullopt},
    };
    for (const auto& c : cases) {
        TroubleFixture f;
        c.happen(f);
        EXPECT_EQ(f.failure(), c.failure) << c.name;
        EXPECT_EQ(f.shown.size(), c.failure ? 1u : 0u) << c.name;
        f.scheduler.advance(5s);
        EXPECT_EQ(f.originLoads(), c.failure ? 1u : 0u) << c.name;
    }
    TroubleFixture f;
    f.serverAnswers(503);
    EXPECT_NE(f.coordinator->trouble()->reason().find("503"), std::string::npos);
}

TEST(PageTrouble, RetriesBackOffUntilALoadSucceedsWhichClearsTheStateAndStartsOver) {
    TroubleFixture f;
    std::size_t loads = 0;
    for (auto delay : {5s, 15s, 60s, 300s, 300s}) {
        f.fail(engine::kURLErrorTimedOut);
        f.scheduler.advance(delay - 500ms);
        EXPECT_EQ(f.originLoads(), loads) << delay.count();
        f.scheduler.advance(500ms);
        EXPECT_EQ(f.originLoads(), ++loads) << delay.count();
    }
    f.webView->finishNavigation(kPage);
    EXPECT_EQ(f.failure(), std::nullopt);
    ASSERT_FALSE(f.shown.empty());
    EXPECT_EQ(f.shown.back(), std::nullopt);
    f.scheduler.advance(1h);
    EXPECT_EQ(f.originLoads(), loads);

    f.fail();
    f.scheduler.advance(5s);
    EXPECT_EQ(f.originLoads(), loads + 1) << "success starts the back-off over";
}

TEST(PageTrouble, NetworkBackRetriesATroubledPageAtOnce) {
    TroubleFixture f;
    f.networkBack.emit();
    EXPECT_EQ(f.originLoads(), 0u);

    f.fail();
    f.networkBack.emit();
    EXPECT_EQ(f.originLoads(), 1u);
    EXPECT_TRUE(f.failure()) << "the state stays until a load succeeds";
    f.fail();
    f.scheduler.advance(15s);
    EXPECT_EQ(f.originLoads(), 2u) << "the back-off goes on where it was";
}

TEST(PageTrouble, FourCrashesWithinTenSecondsAskForAReloadAndTheLimitResetsAfterTheWindow) {
    TroubleFixture f;
    f.webView->currentURL = kPage;
    for (auto delay : {1s, 2s, 4s}) {
        f.webView->terminateContentProcess();
        f.scheduler.advance(delay);
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
    f.webView->finishNavigation(kPage);
    EXPECT_EQ(f.failure(), std::nullopt);

    f.webView->terminateContentProcess();
    f.scheduler.advance(1s);
    EXPECT_EQ(f.webView->reloadCount, 5) << "after ten quiet seconds a crash reloads again";
    EXPECT_EQ(f.failure(), std::nullopt);
}
