#include "core/page/OrviWebCoordinator.h"

#include "core/page/PendingPageMessages.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewSessions.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "support/PageFakes.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

struct CoordinatorFixture {
    explicit CoordinatorFixture(StorageType storage = StorageType::persistentMain,
                                bool withSessionSync = true)
        : profile(makeProfile("Работа", storage)) {
        coordinator = OrviWebCoordinator::create(
            profile, std::make_shared<NavigationPolicyService>(OrviDomains::defaults(), true), unread,
            withSessionSync ? cookies->sync() : SessionSync{},
            CoordinatorContext{scheduler, OrviDomains::defaults(), sessions, pending});
        webView = makeView(profile.id);
        attach();
    }

    std::shared_ptr<FakeWebView> makeView(const ProfileId& owner, bool live = true) {
        auto view =
            std::static_pointer_cast<FakeWebView>(engine.makeWebView({engine.dataStore(owner.text())}));
        sessions.recordOwner(view, owner);
        if (live)
            sessions.markSessionLive(*view);
        return view;
    }
    void attach() {
        coordinator->attach(webView, placement);
        webView->setNavigationDelegate(coordinator.get());
    }
    FakeCookieStore& jar() { return static_cast<FakeDataStore&>(webView->dataStore()).cookies; }

    LogCapture log;
    ManualScheduler scheduler;
    FakeEngine engine;
    MemoryPreferencesStore preferences;
    WebViewSessions sessions;
    PendingPageMessages pending;
    std::shared_ptr<FakeSessionSync> cookies = std::make_shared<FakeSessionSync>(preferences);
    std::shared_ptr<UnreadDetectionService> unread = UnreadDetectionService::create();
    std::shared_ptr<FakePlacement> placement = std::make_shared<FakePlacement>();
    Profile profile;
    std::shared_ptr<OrviWebCoordinator> coordinator;
    std::shared_ptr<FakeWebView> webView;
};

const std::string kPage = "https://web.orvi.example/";

} // namespace

TEST(OrviWebCoordinator, SavesCookiesPeriodicallyByStorageTypeWhileTheSameWebViewStaysAttached) {
    struct Case {
        StorageType storage;
        double interval;
    };
    for (const auto& c : {Case{StorageType::ephemeral, 10}, Case{StorageType::persistentMain, 30}}) {
        CoordinatorFixture f(c.storage);
        f.webView->finishNavigation(kPage);
        const auto save = "saveCookies " + f.profile.id.text();
        f.scheduler.advance(Duration(c.interval - 0.5));
        EXPECT_EQ(f.cookies->count(save), 0u);
        f.scheduler.advance(1s);
        EXPECT_EQ(f.cookies->count(save), 1u);
        f.scheduler.advance(Duration(c.interval * 2));
        EXPECT_EQ(f.cookies->count(save), 3u);

        f.coordinator->detach(f.webView);
        const auto afterDetach = f.cookies->count(save);
        f.scheduler.advance(Duration(c.interval * 3));
        EXPECT_EQ(f.cookies->count(save), afterDetach);
    }
}

TEST(OrviWebCoordinator, FirstFinishRecordsTheCookieStateAndLaterChangesAreSaved) {
    CoordinatorFixture f;
    const auto save = "saveCookies " + f.profile.id.text();
    f.webView->finishNavigation(kPage);
    EXPECT_TRUE(f.log.contains("📊 Initial cookie state: 0 cookies"));
    f.jar().cookies = {{"sid", "1", "web.orvi.example"}};
    f.webView->finishNavigation(kPage);
    EXPECT_TRUE(f.log.contains("📊 Initial cookie state: 1 cookies"));
    EXPECT_EQ(f.cookies->count(save), 0u);

    f.jar().cookies.push_back({"lang", "ru", "web.orvi.example"});
    f.webView->finishNavigation(kPage);
    EXPECT_TRUE(f.log.contains("🔄 Cookies changed: 1 -> 2, saving..."));
    EXPECT_EQ(f.cookies->count(save), 1u);

    f.jar().cookies[0].value = "2";
    f.webView->finishNavigation(kPage);
    EXPECT_EQ(f.cookies->count(save), 2u);
    f.webView->finishNavigation(kPage);
    EXPECT_EQ(f.cookies->count(save), 2u);
}

TEST(OrviWebCoordinator, LoginMessageSavesAfterOneAndThreeSecondsUnlessTheWebViewChanged) {
    CoordinatorFixture f;
    const auto saveStorage = "saveStorage " + f.profile.id.text();
    f.webView->postMessage("logHandler", {{"type", "log"}, {"message", "OK: user logged in"}});
    f.webView->postMessage("logHandler", {{"type", "log"}, {"message", "user logged in again"}});
    EXPECT_TRUE(f.log.contains("log: OK: user logged in"));
    f.scheduler.advance(0.9s);
    EXPECT_EQ(f.cookies->count(saveStorage), 0u);
    f.scheduler.advance(0.2s);
    EXPECT_EQ(f.cookies->count(saveStorage), 2u);
    EXPECT_TRUE(f.log.contains("   ✅ Login save attempt (t+1s) completed"));
    f.scheduler.advance(2s);
    EXPECT_EQ(f.cookies->count(saveStorage), 4u);

    f.webView->postMessage("logHandler", {{"type", "log"}, {"message", "user logged in"}});
    f.coordinator->detach(f.webView);
    const auto afterDetach = f.cookies->count(saveStorage);
    f.scheduler.advance(5s);
    EXPECT_EQ(f.cookies->count(saveStorage), afterDetach);
}

TEST(OrviWebCoordinator, LogMessagesOfOtherKindsOrShapesTriggerNoSave) {
    CoordinatorFixture f;
    for (const Json& body : {Json{{"type", "error"}, {"message", "user logged in"}},
                             Json{{"type", "log"}, {"message", "User Logged In"}}, Json{{"type", "log"}},
                             Json("user logged in"), Json{{"type", 1}, {"message", "user logged in"}}})
        f.webView->postMessage("logHandler", body);
    f.scheduler.advance(5s);
    EXPECT_TRUE(f.cookies->calls.empty());
}

TEST(OrviWebCoordinator, CrashesReloadWithBackOffUntilTheLimitWhichResetsAfterTenQuietSeconds) {
    CoordinatorFixture f;
    f.webView->currentURL = kPage;
    std::vector<bool> loading;
    f.coordinator->onLoadingChanged = [&](bool value) { loading.push_back(value); };

    for (double delay : {1.0, 2.0, 4.0}) {
        const int before = f.webView->reloadCount;
        f.webView->terminateContentProcess();
        f.scheduler.advance(Duration(delay - 0.1));
        EXPECT_EQ(f.webView->reloadCount, before) << delay;
        f.scheduler.advance(0.1s);
        EXPECT_EQ(f.webView->reloadCount, before + 1) << delay;
    }
    f.webView->terminateContentProcess();
    EXPECT_TRUE(f.log.contains("❌ Too many process terminations, stopping reload attempts"));
    EXPECT_EQ(loading, std::vector<bool>{false});
    f.scheduler.advance(10s);
    EXPECT_EQ(f.webView->reloadCount, 3);

    f.scheduler.advance(1s);
    f.webView->terminateContentProcess();
    EXPECT_TRUE(f.log.contains("⚠️ WebView process terminated (count: 1/3)"));
    f.scheduler.advance(1s);
    EXPECT_EQ(f.webView->reloadCount, 4);
}

TEST(OrviWebCoordinator, CrashWithoutAWindowCountsButDoesNotReload) {
    CoordinatorFixture f;
    f.placement->window = false;
    f.webView->terminateContentProcess();
    f.scheduler.advance(5s);
    EXPECT_EQ(f.webView->reloadCount, 0);
    EXPECT_TRUE(f.webView->loads.empty());

    f.placement->window = true;
    f.webView->terminateContentProcess();
    EXPECT_TRUE(f.log.contains("⚠️ WebView process terminated (count: 2/3)"));
    f.scheduler.advance(2s);
    ASSERT_EQ(f.webView->loads.size(), 1u) << "a web view without a URL loads the service origin";
    EXPECT_EQ(f.webView->loads[0].url, OrviDomains::defaults().serviceOrigin());
}

TEST(OrviWebCoordinator, DetachSavesTheWebViewsOwnProfileAndOnlyARestoredSession) {
    CoordinatorFixture f;
    f.coordinator->detach(f.webView);
    EXPECT_EQ(f.cookies->calls, (std::vector<std::string>{"saveCookies " + f.profile.id.text(),
                                                          "saveStorage " + f.profile.id.text()}));
    EXPECT_TRUE(f.log.contains("   ✅ Saved cookies and storage before detach"));
    EXPECT_EQ(f.webView->messageHandlers.size(), 0u);
    EXPECT_EQ(f.webView->navigationDelegate, nullptr);

    // A web view of another profile whose session was never put in place is not saved at
    // all: saving its empty jar would wipe that profile's login.
    f.cookies->calls.clear();
    const auto other = ProfileId::generate();
    f.webView = f.makeView(other, false);
    f.attach();
    f.coordinator->detach(f.webView);
    EXPECT_TRUE(f.cookies->calls.empty());

    f.webView = f.makeView(other, true);
    f.attach();
    f.coordinator->detach(f.webView);
    EXPECT_EQ(f.cookies->calls,
              (std::vector<std::string>{"saveCookies " + other.text(), "saveStorage " + other.text()}));
}

TEST(OrviWebCoordinator, RepeatedAttachRegistersEachHandlerOnceAndTheScriptsAgain) {
    CoordinatorFixture f;
    f.attach();
    for (const char* name : {"logHandler", "downloadLink", "callStateHandler", "unreadCountHandler"})
        EXPECT_EQ(f.webView->messageHandlers.count(name), 1u) << name;
    const auto consoleScripts =
        std::count_if(f.webView->userScripts.begin(), f.webView->userScripts.end(), [](const auto& s) {
            return s.source.find("__consoleIntercepted") != std::string::npos;
        });
    EXPECT_EQ(consoleScripts, 2);
}

TEST(OrviWebCoordinator, FailuresClearLoadingAndLogWhatHappened) {
    struct Case {
        bool provisional;
        Error error;
        std::vector<std::string> lines;
    };
    const std::string url = engine::kURLErrorDomain;
    const std::vector<Case> cases = {
        {false, {url, -1009, ""}, {"⚠️ No internet connection"}},
        {false,
         {url, -999, ""},
         {"⚠️ Navigation cancelled (NSURLErrorCancelled) - this may be due to profile switching"}},
        {false, {url, -1100, ""}, {"⚠️ Navigation failed with NSURLError code: -1100"}},
        {false, {"WebKitNetworkError", 1, "boom"}, {"⚠️ Navigation failed: boom"}},
        {true,
         {url, -1001, ""},
         {"⚠️ Provisional navigation timed out",
          "   💡 Consider implementing retry logic for non-cancelled errors"}},
        {true,
         {url, -999, ""},
         {"⚠️ Provisional navigation cancelled (NSURLErrorCancelled) - this may be due to profile "
          "switching or WebView recreation"}},
        {true,
         {url, -1004, ""},
         {"⚠️ Provisional navigation failed with NSURLError code: -1004",
          "   💡 Consider implementing retry logic for non-cancelled errors"}},
        {true,
         {"WebKitPolicyError", 102, "Frame load interrupted"},
         {"⚠️ Provisional navigation failed: Frame load interrupted"}},
    };
    for (const auto& c : cases) {
        CoordinatorFixture f;
        std::vector<bool> loading;
        f.coordinator->onLoadingChanged = [&](bool value) { loading.push_back(value); };
        f.log.clear();
        if (c.provisional)
            f.coordinator->didFailProvisionalNavigation(*f.webView, c.error);
        else
            f.coordinator->didFailNavigation(*f.webView, c.error);
        EXPECT_EQ(f.log.lines(), c.lines);
        EXPECT_EQ(loading, std::vector<bool>{false});
    }
}

TEST(OrviWebCoordinator, ConfirmsEveryDialogAndRecordsCallAndDownloadMessages) {
    CoordinatorFixture f;
    std::optional<bool> confirmed;
    f.coordinator->runJavaScriptConfirm(*f.webView, "Удалить?", [&](bool ok) { confirmed = ok; });
    EXPECT_EQ(confirmed, true);

    f.webView->postMessage("callStateHandler", {{"active", true}});
    f.webView->postMessage("callStateHandler", Json("active"));
    f.webView->postMessage("downloadLink", Json("https://files.orvi.example/a.pdf"));
    f.webView->postMessage("downloadLink", {{"label", "no url"}});
    EXPECT_EQ(f.pending.callStates.size(), 1u);
    EXPECT_EQ(f.pending.downloadLinks.size(), 1u);
}

TEST(OrviWebCoordinator, PassesOnlyItsOwnProfilesChangedCounts) {
    CoordinatorFixture f;
    std::vector<int> counts;
    f.coordinator->onUnreadCountChanged = [&](int n) { counts.push_back(n); };
    const auto own = f.profile.id.text();
    for (const Json& body : {Json{{"count", 2}, {"profileId", own}}, Json{{"count", 2}, {"profileId", own}},
                             Json{{"count", 5}, {"profileId", ProfileId::generate().text()}},
                             Json{{"count", 0}, {"profileId", own}}})
        f.webView->postMessage("unreadCountHandler", body);
    EXPECT_EQ(counts, (std::vector<int>{2, 0}));
}
