#include "core/page/OrviWebCoordinator.h"

#include "core/page/PageDownloads.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewSessions.h"
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

struct CoordinatorFixture {
    explicit CoordinatorFixture(StorageType storage = StorageType::persistentMain,
                                bool withSessionSync = true)
        : profile(makeProfile("Работа", storage)) {
        coordinator = OrviWebCoordinator::create(
            profile, std::make_shared<NavigationPolicyService>(OrviDomains::defaults(), true), unread,
            withSessionSync ? cookies->sync() : SessionSync{},
            CoordinatorContext{scheduler, OrviDomains::defaults(), sessions, pending,
                               [this] { return mediaAllowed; }, [this] { ++callsUnavailable; }});
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
    // Page messages count only while the view shows the service.
    void onServicePage() { webView->currentURL = OrviDomains::defaults().serviceOrigin(); }
    FakeCookieStore& jar() { return static_cast<FakeDataStore&>(webView->dataStore()).cookies; }

    bool mediaAllowed = true;
    int callsUnavailable = 0;
    LogCapture log;
    ManualScheduler scheduler;
    FakeEngine engine;
    MemoryPreferencesStore preferences;
    WebViewSessions sessions;
    std::shared_ptr<orvi::test::RecordingFileSaving> saving =
        std::make_shared<orvi::test::RecordingFileSaving>();
    PageDownloads pending{saving,
                          {std::filesystem::temp_directory_path(), std::filesystem::temp_directory_path()}};
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
    f.jar().cookies = {{"sid", "1", "web.orvi.example"}};
    f.webView->finishNavigation(kPage);
    EXPECT_EQ(f.cookies->count(save), 0u);

    f.jar().cookies.push_back({"lang", "ru", "web.orvi.example"});
    f.webView->finishNavigation(kPage);
    EXPECT_EQ(f.cookies->count(save), 1u);

    f.jar().cookies[0].value = "2";
    f.webView->finishNavigation(kPage);
    EXPECT_EQ(f.cookies->count(save), 2u);
    f.webView->finishNavigation(kPage);
    EXPECT_EQ(f.cookies->count(save), 2u);
}

TEST(OrviWebCoordinator, OnlyLoginMessagesSaveAndTheyCoalesceIntoOnePairOfSavesAfterOneAndThreeSeconds) {
    CoordinatorFixture f;
    f.onServicePage();
    for (const Json& body : {Json{{"type", "error"}, {"message", "user logged in"}},
                             Json{{"type", "log"}, {"message", "User Logged In"}}, Json{{"type", "log"}},
                             Json("user logged in"), Json{{"type", 1}, {"message", "user logged in"}}})
        f.webView->postMessage("logHandler", body);
    f.scheduler.advance(5s);
    EXPECT_TRUE(f.cookies->calls.empty()) << "other kinds or shapes save nothing";
    const auto saveStorage = "saveStorage " + f.profile.id.text();
    for (int i = 0; i < 300; ++i)
        f.webView->postMessage("logHandler", {{"type", "log"}, {"message", "OK: user logged in"}});
    f.scheduler.advance(0.9s);
    EXPECT_EQ(f.cookies->count(saveStorage), 0u);
    f.scheduler.advance(0.2s);
    EXPECT_EQ(f.cookies->count(saveStorage), 1u);
    f.scheduler.advance(2s);
    EXPECT_EQ(f.cookies->count(saveStorage), 2u);
    f.webView->postMessage("logHandler", {{"type", "log"}, {"message", "user logged in again"}});
    f.scheduler.advance(3.1s);
    EXPECT_EQ(f.cookies->count(saveStorage), 4u);

    f.webView->postMessage("logHandler", {{"type", "log"}, {"message", "user logged in"}});
    f.coordinator->detach(f.webView);
    const auto afterDetach = f.cookies->count(saveStorage);
    f.scheduler.advance(5s);
    EXPECT_EQ(f.cookies->count(saveStorage), afterDetach);
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
    EXPECT_EQ(loading, std::vector<bool>{false});
    f.scheduler.advance(10s);
    EXPECT_EQ(f.webView->reloadCount, 3);

    f.scheduler.advance(1s);
    f.webView->terminateContentProcess();
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
    f.scheduler.advance(2s);
    ASSERT_EQ(f.webView->loads.size(), 1u) << "a web view without a URL loads the service origin";
    EXPECT_EQ(f.webView->loads[0].url, OrviDomains::defaults().serviceOrigin());
}

TEST(OrviWebCoordinator, DetachSavesTheWebViewsOwnProfileAndOnlyARestoredSession) {
    CoordinatorFixture f;
    f.coordinator->detach(f.webView);
    EXPECT_EQ(f.cookies->calls, (std::vector<std::string>{"saveCookies " + f.profile.id.text(),
                                                          "saveStorage " + f.profile.id.text()}));
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

TEST(OrviWebCoordinator, EveryKindOfFailureClearsLoading) {
    const std::string url = engine::kURLErrorDomain;
    for (bool provisional : {false, true})
        for (const Error& error :
             {Error{url, -1009, ""}, Error{url, -999, ""}, Error{"WebKitNetworkError", 1, "boom"}}) {
            CoordinatorFixture f;
            std::vector<bool> loading;
            f.coordinator->onLoadingChanged = [&](bool value) { loading.push_back(value); };
            if (provisional)
                f.coordinator->didFailProvisionalNavigation(*f.webView, error);
            else
                f.coordinator->didFailNavigation(*f.webView, error);
            EXPECT_EQ(loading, std::vector<bool>{false}) << provisional << error.code;
        }
}

TEST(OrviWebCoordinator, ConfirmsEveryDialogAndFetchesOnlyWellFormedHttpDownloadLinks) {
    CoordinatorFixture f;
    std::optional<bool> confirmed;
    f.coordinator->runJavaScriptConfirm(*f.webView, "Удалить?", [&](bool ok) { confirmed = ok; });
    EXPECT_EQ(confirmed, true);
    f.onServicePage();

    f.webView->postMessage("downloadLink", Json("https://files.orvi.example/a.pdf"));
    f.webView->postMessage("downloadLink", {{"url", "https://files.orvi.example/b.pdf"}, {"label", "b.pdf"}});
    for (const Json& bad : {Json{{"label", "no url"}}, Json("file:///etc/passwd"),
                            Json("javascript:alert(1)"), Json(42), Json{{"url", 7}}})
        f.webView->postMessage("downloadLink", bad);
    ASSERT_EQ(f.webView->downloads.size(), 2u);
    EXPECT_EQ(f.webView->downloads[1].url, "https://files.orvi.example/b.pdf");
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

namespace {

engine::PermissionDecision askForCapture(CoordinatorFixture& f, const std::string& origin) {
    std::optional<engine::PermissionDecision> decision;
    f.coordinator->requestMediaCapturePermission(*f.webView, origin, engine::MediaCaptureType::microphone,
                                                 [&](engine::PermissionDecision d) { decision = d; });
    EXPECT_TRUE(decision.has_value());
    return decision.value_or(engine::PermissionDecision::prompt);
}

const std::string kServiceOrigin = "https://web.orvi.ru";

} // namespace

TEST(OrviWebCoordinator, CaptureIsGrantedOnlyToTheServicePageAfterACallGestureAndNeverWhenSwitchedOff) {
    struct Case {
        const char* what;
        bool settingOn;
        std::string pageURL;
        std::string origin;
        bool gesture;
        engine::PermissionDecision expected;
    };
    using engine::PermissionDecision;
    const std::string page = OrviDomains::defaults().serviceOrigin();
    const Case cases[] = {
        {"service page after a gesture", true, page, kServiceOrigin, true, PermissionDecision::grant},
        {"service page without a gesture", true, page, kServiceOrigin, false, PermissionDecision::deny},
        {"setting off", false, page, kServiceOrigin, true, PermissionDecision::deny},
        {"look-alike host", true, "https://web.orvi.ru.evil.example/", "https://web.orvi.ru.evil.example",
         true, PermissionDecision::deny},
        {"view strayed off the service", true, "https://evil.example/", "https://evil.example", true,
         PermissionDecision::deny},
    };
    for (const auto& c : cases) {
        CoordinatorFixture f;
        f.mediaAllowed = c.settingOn;
        f.webView->currentURL = c.pageURL;
        if (c.gesture) {
            f.onServicePage();
            f.webView->postMessage("callStateHandler", {{"mediaIntent", true}});
            f.webView->currentURL = c.pageURL;
        }
        EXPECT_EQ(askForCapture(f, c.origin), c.expected) << c.what;
    }
}

TEST(OrviWebCoordinator, ACallEndsWithTheDocumentThatCarriedItSoCaptureIsNotLeftGranted) {
    using Leave = std::function<void(CoordinatorFixture&)>;
    const std::vector<std::pair<const char*, Leave>> cases = {
        {"navigation", [](CoordinatorFixture& f) { f.coordinator->didCommitNavigation(*f.webView); }},
        {"crash", [](CoordinatorFixture& f) { f.webView->terminateContentProcess(); }},
        {"detach", [](CoordinatorFixture& f) { f.coordinator->detach(f.webView); }},
    };
    for (const auto& [what, leave] : cases) {
        CoordinatorFixture f;
        f.onServicePage();
        std::vector<bool> changes;
        f.coordinator->onCallStateChanged = [&](bool active) { changes.push_back(active); };
        f.webView->postMessage("callStateHandler", {{"active", true}, {"contextId", "a"}});
        EXPECT_EQ(askForCapture(f, kServiceOrigin), engine::PermissionDecision::grant) << what;
        leave(f);
        EXPECT_EQ(changes, (std::vector<bool>{true, false})) << what;
        if (f.coordinator->currentWebView()) {
            EXPECT_EQ(askForCapture(f, kServiceOrigin), engine::PermissionDecision::deny) << what;
        }
    }
}

TEST(OrviWebCoordinator, APageCannotForgeLogLinesFloodHandlersOrSpeakFromAForeignMainFrame) {
    CoordinatorFixture f;
    f.onServicePage();
    f.log.clear();
    f.webView->postMessage(
        "logHandler", {{"type", "log"},
                       {"message", "ok\n🛑 Application will terminate - saving cookies and storage..."}});
    f.webView->postMessage("logHandler", {{"type", "log\r\n❌ fake"}, {"message", std::string(50000, 'x')}});
    const auto lines = f.log.lines();
    for (const auto& line : lines) {
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_FALSE(line.starts_with("🛑")) << line;
        EXPECT_LT(line.size(), 5000u);
    }

    for (int i = 0; i < 4000; ++i)
        f.webView->postMessage("downloadLink", Json("https://files.orvi.ru/" + std::to_string(i) + ".pdf"));
    EXPECT_LE(f.webView->downloads.size(), 10u) << "a flood is cut off by the rate limit";
    f.scheduler.advance(std::chrono::seconds(2));
    f.webView->postMessage("downloadLink", Json("https://files.orvi.ru/later.pdf"));
    EXPECT_EQ(f.webView->downloads.back().url, "https://files.orvi.ru/later.pdf") << "the limit recovers";

    const auto before = f.webView->downloads.size();
    f.webView->currentURL = "https://evil.example/";
    f.webView->postMessage("downloadLink", Json("https://files.orvi.ru/a.pdf"));
    f.webView->postMessage("callStateHandler", {{"active", true}, {"contextId", "x"}});
    f.webView->postMessage("logHandler", {{"type", "log"}, {"message", "user logged in"}});
    f.scheduler.advance(std::chrono::seconds(5));
    EXPECT_EQ(f.webView->downloads.size(), before);
    EXPECT_FALSE(f.coordinator->hasActiveCall());
    EXPECT_EQ(f.cookies->count("saveStorage " + f.profile.id.text()), 0u);
}

TEST(OrviWebCoordinator, RepeatedAttachInstallsHandlersAndScriptsOnceAndReportsMissingCallsSupport) {
    CoordinatorFixture f;
    f.attach();
    // A cached view comes back to the screen after a switch away and back.
    f.coordinator->detach(f.webView);
    f.attach();
    for (const char* name : {"logHandler", "downloadLink", "callStateHandler", "unreadCountHandler"})
        EXPECT_EQ(f.webView->messageHandlers.count(name), 1u) << name;
    std::size_t console = 0;
    std::size_t media = 0;
    for (const auto& script : f.webView->userScripts)
        if (script.source.find("__orviWrapperCallStateInstalled") != std::string::npos ||
            script.source.find("__downloadClickIntercepted") != std::string::npos) {
            ++media;
            EXPECT_EQ(script.frameScope, engine::FrameScope::allFrames);
            EXPECT_EQ(script.injectionTime, engine::InjectionTime::documentStart);
        } else if (script.source.find("__consoleIntercepted") != std::string::npos) {
            ++console;
        }
    EXPECT_EQ(media, 2u);
    EXPECT_EQ(console, 1u);

    f.onServicePage();
    f.webView->postMessage("callStateHandler", {{"event", "callsUnavailable"}, {"contextId", "a"}});
    EXPECT_EQ(f.callsUnavailable, 1);
}

TEST(OrviWebCoordinator, UnreadReportsPassTheGateOnlyFromTheServiceAndWithinTheRate) {
    CoordinatorFixture f;
    f.unread->setMessageGate(std::make_shared<PageMessageGate>(f.scheduler, OrviDomains::defaults()));
    std::vector<int> counts;
    f.coordinator->onUnreadCountChanged = [&](int n) { counts.push_back(n); };
    const auto own = f.profile.id.text();
    f.webView->currentURL = "https://evil.example/";
    f.webView->postMessage("unreadCountHandler", {{"count", 7}, {"profileId", own}});
    EXPECT_TRUE(counts.empty());

    f.onServicePage();
    for (int i = 1; i <= 1000; ++i)
        f.webView->postMessage("unreadCountHandler", {{"count", i}, {"profileId", own}});
    EXPECT_FALSE(counts.empty());
    EXPECT_LE(counts.size(), 50u);
}

TEST(OrviWebCoordinator, ACookieChangeBetweenLoadsIsSavedASecondLaterOnceForABurstAlsoInTheBackground) {
    for (const bool background : {false, true}) {
        CoordinatorFixture f;
        if (background)
            f.coordinator->superviseInBackground(f.webView);
        const auto save = "saveCookies " + f.profile.id.text();
        f.jar().cookies = {{"sid", "1", "web.orvi.example"}};
        f.webView->finishNavigation(kPage);
        f.jar().changeTo({{"sid", "2", "web.orvi.example"}});
        f.scheduler.advance(500ms);
        f.jar().changeTo({{"sid", "3", "web.orvi.example"}});
        EXPECT_EQ(f.cookies->count(save), 0u);
        f.scheduler.advance(600ms);
        EXPECT_EQ(f.cookies->count(save), 1u) << background;
        f.scheduler.advance(5s);
        EXPECT_EQ(f.cookies->count(save), 1u) << background;

        f.coordinator->detach(f.webView);
        const auto afterDetach = f.cookies->count(save);
        f.jar().changeTo({{"sid", "4", "web.orvi.example"}});
        f.scheduler.advance(5s);
        EXPECT_EQ(f.cookies->count(save), afterDetach) << background;
    }
}

TEST(OrviWebCoordinator, ASessionEmptiedWhileThePageIsOpenIsForgottenButNotAnEmptyOrUnreadableStore) {
    const engine::Cookie sid{"sid", "1", "web.orvi.example"};
    struct Case {
        const char* name;
        std::vector<engine::Cookie> atFinish;
        bool readFails;
        bool forgotten;
        bool handedOverLoaded = false;
    } cases[] = {{"logout", {sid}, false, true},
                 {"logout in the background", {sid}, false, true, true},
                 {"empty since the start", {}, false, false},
                 {"unreadable store", {sid}, true, false}};
    for (const auto& c : cases) {
        CoordinatorFixture f;
        f.preferences.setData(keys::cookies(f.profile.id), "saved");
        f.jar().cookies = c.atFinish;
        f.webView->currentURL = kPage;
        if (c.handedOverLoaded)
            f.coordinator->superviseInBackground(f.webView);
        else
            f.webView->finishNavigation(kPage);
        if (c.readFails)
            f.jar().readFailure = Error{"WebKit", 1, "no jar"};
        f.jar().changeTo({});
        f.scheduler.advance(2s);
        EXPECT_EQ(f.preferences.data(keys::cookies(f.profile.id)).has_value(), !c.forgotten) << c.name;
    }
}
