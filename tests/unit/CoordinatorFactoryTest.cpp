#include "core/page/PageDownloads.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewSessions.h"
#include "core/shell/MainWebViewModel.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "fakes/FakeEngine.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/RecordingFileSaving.h"
#include "support/PageFakes.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

// Refuses what the standard policy would allow, so a page judged by anything else shows.
struct RefusingPolicy final : NavigationPolicyServiceProtocol {
    NavigationDecision decide(const engine::NavigationAction&) override {
        ++asked;
        return NavigationDecision::cancel;
    }
    int asked = 0;
};

TEST(CoordinatorFactory, EveryProfilesPageIsJudgedByTheInjectedPolicy) {
    LogCapture log;
    ManualScheduler scheduler;
    FakeEngine engine;
    WebViewSessions sessions;
    PageDownloads pending{std::make_shared<RecordingFileSaving>(),
                          {std::filesystem::temp_directory_path(), std::filesystem::temp_directory_path()}};
    RecordingNotificationService notifications;
    const auto first = makeProfile("Первый");
    const auto second = makeProfile("Второй");
    FakeProfileStore store({first, second});
    auto policy = std::make_shared<RefusingPolicy>();
    auto model = MainWebViewModel::create(
        store, SessionSync{}, nullptr, policy, UnreadDetectionService::create(), notifications,
        CoordinatorContext{scheduler, OrviDomains::defaults(), sessions, pending});
    auto view = std::static_pointer_cast<FakeWebView>(engine.makeWebView({engine.dataStore("first")}));
    model->coordinator()->attach(view, std::make_shared<FakePlacement>());
    store.setActiveProfile(second.id);
    scheduler.advance(1s);

    ASSERT_EQ(model->coordinator()->profile().id, second.id);
    ASSERT_TRUE(model->backgroundSupervisor(first.id));
    for (const auto& coordinator : {model->coordinator(), model->backgroundSupervisor(first.id)}) {
        std::optional<engine::PolicyDecision> decision;
        coordinator->decidePolicyForNavigationAction(*view, {"https://web.orvi.ru/"},
                                                     [&](engine::PolicyDecision d) { decision = d; });
        EXPECT_EQ(decision, engine::PolicyDecision::cancel) << coordinator->profile().name;
    }
    EXPECT_EQ(policy->asked, 2);
}

} // namespace
