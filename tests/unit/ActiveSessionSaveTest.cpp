#include "core/shell/ActiveSessionSave.h"

#include "core/page/PageDownloads.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewSessions.h"
#include "core/shell/MainWebViewModel.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "fakes/RecordingFileSaving.h"
#include "support/PageFakes.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

struct TerminationFixture {
    TerminationFixture() {
        model = MainWebViewModel::create(
            store, cookies->sync(), cookies,
            std::make_shared<NavigationPolicyService>(OrviDomains::defaults(), true),
            UnreadDetectionService::create(), notifications,
            CoordinatorContext{scheduler, OrviDomains::defaults(), sessions, pending});
        const auto& profile = store.activeProfile();
        webView =
            std::static_pointer_cast<FakeWebView>(engine.makeWebView({engine.dataStore(profile.id.text())}));
        sessions.recordOwner(webView, profile.id);
        model->coordinator()->attach(webView);
    }
    FakeCookieStore& jar() { return static_cast<FakeDataStore&>(webView->dataStore()).cookies; }

    LogCapture log;
    ManualScheduler scheduler;
    FakeEngine engine;
    MemoryPreferencesStore preferences;
    WebViewSessions sessions;
    std::shared_ptr<RecordingFileSaving> saving = std::make_shared<RecordingFileSaving>();
    PageDownloads pending{saving,
                          {std::filesystem::temp_directory_path(), std::filesystem::temp_directory_path()}};
    RecordingNotificationService notifications;
    FakeProfileStore store{{makeProfile("Основной")}};
    std::shared_ptr<FakeSessionSync> cookies = std::make_shared<FakeSessionSync>(preferences);
    std::shared_ptr<MainWebViewModel> model;
    std::shared_ptr<FakeWebView> webView;
};

bool runSave(TerminationFixture& f) {
    TerminationSave save(f.scheduler);
    save.addHook(ActiveSessionSave::hook(*f.model, f.sessions));
    return save.run();
}

} // namespace

TEST(ActiveSessionSave, KeepsTheSavedLoginOfAPageWithoutSessionAndGivesUpAfterTwoSecondsWithoutAnAnswer) {
    TerminationFixture f;
    const auto id = f.store.activeProfile().id;
    f.preferences.setData(keys::cookies(id), R"({"sid":"saved"})");
    EXPECT_TRUE(runSave(f));
    EXPECT_TRUE(f.cookies->calls.empty());
    EXPECT_EQ(f.preferences.data(keys::cookies(id)), R"({"sid":"saved"})");

    f.sessions.markSessionLive(*f.webView);
    f.jar().deferAnswers = true;
    EXPECT_FALSE(runSave(f));
    EXPECT_DOUBLE_EQ(f.scheduler.elapsed(), 2.0);
    // A late answer after the wait still finds its state alive.
    f.jar().releaseDeferred();
}

TEST(ActiveSessionSave, SavesEveryLivePageUnderItsOwnProfileAndWaitsForCookieAnswersAfterStorageAnswers) {
    TerminationFixture f;
    const auto first = f.store.activeProfile();
    f.store.addProfile(makeProfile("Работа"));
    const auto second = f.store.profiles().back();
    f.sessions.markSessionLive(*f.webView);
    f.webView->currentURL = "https://web.orvi.ru/";
    f.store.setActiveProfile(second.id);
    ASSERT_TRUE(f.model->backgroundSupervisor(first.id));
    auto other =
        std::static_pointer_cast<FakeWebView>(f.engine.makeWebView({f.engine.dataStore(second.id.text())}));
    f.sessions.recordOwner(other, second.id);
    f.model->coordinator()->attach(other);
    f.sessions.markSessionLive(*other);
    f.jar().cookies = {{"sid", "first", "web.orvi.example"}};
    auto& otherJar = static_cast<FakeDataStore&>(other->dataStore()).cookies;
    otherJar.cookies = {{"sid", "second", "web.orvi.example"}};
    f.jar().deferAnswers = otherJar.deferAnswers = f.cookies->holdStorageAnswers = true;
    // The storage answers come first, the cookie answers a moment later, all while waiting.
    f.scheduler.postAfter(0.2s, [&] { f.cookies->releaseStorageAnswers(); });
    f.scheduler.postAfter(0.5s, [&] {
        f.jar().releaseDeferred();
        otherJar.releaseDeferred();
    });

    EXPECT_TRUE(runSave(f));
    EXPECT_EQ(f.preferences.data(keys::cookies(first.id)), R"({"sid":"first"})");
    EXPECT_EQ(f.preferences.data(keys::cookies(second.id)), R"({"sid":"second"})");
    EXPECT_TRUE(f.preferences.contains(keys::storage(first.id)));
    EXPECT_TRUE(f.preferences.contains(keys::storage(second.id)));
}
