#include "core/shell/MainWebViewModel.h"

#include "core/notify/NotificationService.h"
#include "core/page/PageDownloads.h"
#include "core/page/PageHost.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewSessions.h"
#include "core/prefs/ForgettingPreferencesStore.h"
#include "core/session/ProfileDeletionCleaner.h"
#include "core/shell/SidebarNavigation.h"
#include "core/shell/StartupPageLoading.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "fakes/RecordingDesktop.h"
#include "fakes/RecordingFileSaving.h"
#include "support/PageFakes.h"
#include "support/TempDir.h"
#include "support/TestDomains.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

// The main view model with a page host that follows its coordinator, as the main window does.
struct ShellFixture {
    explicit ShellFixture(int profileCount = 3, bool desktop = false,
                          std::shared_ptr<NavigationPolicyServiceProtocol> policy =
                              std::make_shared<NavigationPolicyService>(OrviDomains::defaults(), true)) {
        for (int i = 0; i < profileCount; ++i)
            profiles.push_back(makeProfile("Профиль " + std::to_string(i)));
        store = std::make_unique<FakeProfileStore>(profiles);
        cookies = std::make_shared<FakeSessionSync>(guardedPreferences);
        model = MainWebViewModel::create(
            *store, cookies->sync(), cookies, std::move(policy), unread,
            desktop ? static_cast<NotificationServiceProtocol&>(desktopNotifications) : notifications,
            CoordinatorContext{scheduler, OrviDomains::defaults(), sessions, pending});
        showHost();
        hostFollower = model->subscribeToCoordinator([this](const auto&) { showHost(); });
    }

    PageHost::Context context() {
        return {PageLoadContext{scheduler, preferences, OrviDomains::defaults(), vpn, sessions},
                [this](const Profile& p, const std::optional<LocationSettings>& location) {
                    builtLocations.push_back(location);
                    return webViewFor(p);
                }};
    }
    void showHost() {
        if (host)
            host->dismantle();
        host = PageHost::create(model, context(), placement, std::nullopt, PageLoader::Options{});
        host->makeView();
    }
    std::shared_ptr<FakeWebView> webViewFor(const Profile& profile) {
        auto& view = webViews[profile.id];
        if (!view)
            view = std::static_pointer_cast<FakeWebView>(
                engine.makeWebView({engine.dataStore(profile.id.text())}));
        return view;
    }
    FakeCookieStore& jar(const Profile& profile) {
        return static_cast<FakeDataStore&>(webViewFor(profile)->dataStore()).cookies;
    }
    // The page on screen has loaded and its session is in place, as after a login.
    void settle(const Profile& profile) {
        scheduler.advance(1s);
        auto view = webViewFor(profile);
        sessions.markSessionLive(*view);
        view->finishNavigation("https://web.orvi.ru/");
    }
    void switchTo(const Profile& profile) {
        store->setActiveProfile(profile.id);
        scheduler.advance(1s);
    }
    void report(const Profile& profile, int count) {
        webViewFor(profile)->postMessage("unreadCountHandler",
                                         {{"count", count}, {"profileId", profile.id.text()}});
    }

    LogCapture log;
    ManualScheduler scheduler;
    FakeEngine engine;
    MemoryPreferencesStore preferences;
    ForgettingPreferencesStore guardedPreferences{preferences};
    WebViewSessions sessions;
    PageDownloads pending{std::make_shared<RecordingFileSaving>(),
                          {std::filesystem::temp_directory_path(), std::filesystem::temp_directory_path()}};
    FakeVPNDetection vpn{scheduler};
    RecordingNotificationService notifications;
    RecordingNotifier notifier;
    RecordingLauncherBadge badge;
    NotificationService desktopNotifications{scheduler, notifier, badge};
    std::shared_ptr<UnreadDetectionService> unread = UnreadDetectionService::create();
    std::shared_ptr<FakePlacement> placement = std::make_shared<FakePlacement>();
    std::vector<Profile> profiles;
    std::vector<std::optional<LocationSettings>> builtLocations;
    std::unique_ptr<FakeProfileStore> store;
    std::shared_ptr<FakeSessionSync> cookies;
    std::shared_ptr<MainWebViewModel> model;
    std::shared_ptr<PageHost> host;
    Connection hostFollower;
    std::map<ProfileId, std::shared_ptr<FakeWebView>> webViews;
};

} // namespace

TEST(MainWebViewModel, ThreeQuickSwitchesEndOnTheLastWithOneLoadEachAndTheSessionsApart) {
    ShellFixture f;
    const auto& [a, b, c] = std::tie(f.profiles[0], f.profiles[1], f.profiles[2]);
    std::optional<std::filesystem::path> exported;
    f.model->exportToFile([&](auto path) { exported = path; });
    ASSERT_TRUE(exported);
    EXPECT_EQ(f.cookies->calls.back(), "exportToFile " + a.id.text()) << "the page's own profile";

    f.preferences.setData(keys::cookies(b.id), R"({"sid":"B"})");
    f.preferences.setData(keys::storage(b.id), R"({"localStorage":{"k":"B"},"sessionStorage":{}})");
    f.preferences.setData(keys::cookies(c.id), R"({"sid":"C"})");
    f.scheduler.advance(0.1s);
    f.store->setActiveProfile(b.id);
    f.scheduler.advance(0.1s);
    f.store->setActiveProfile(c.id);
    // A switch during the guard waits for it to clear.
    EXPECT_EQ(f.model->coordinator()->profile().id, b.id);
    f.scheduler.advance(5s);

    EXPECT_EQ(f.model->coordinator()->profile().id, c.id);
    EXPECT_EQ(f.model->activeProfile().id, c.id);
    EXPECT_EQ(f.host->webView(), f.webViewFor(c));
    // The window is already on screen, so every profile shown loads at once.
    for (const auto* p : {&a, &b, &c})
        EXPECT_EQ(f.webViewFor(*p)->loads.size(), 1u) << p->name;
    EXPECT_EQ(f.preferences.data(keys::cookies(b.id)), R"({"sid":"B"})");
    ASSERT_EQ(f.jar(b).cookies.size(), 1u);
    EXPECT_EQ(f.jar(b).cookies[0].value, "B") << "C's cookies never go into B's store";
    ASSERT_EQ(f.jar(c).cookies.size(), 1u);
    EXPECT_EQ(f.jar(c).cookies[0].value, "C");

    f.store->setActiveProfile(c.id);
    f.scheduler.advance(5s);
    EXPECT_EQ(f.webViewFor(c)->loads.size(), 1u) << "selecting the active profile again does nothing";
}

TEST(MainWebViewModel, ParkingDuringACallDoesNothingWakingLoadsAgainAndTroubleOnScreenIsPublishedAndRetried) {
    ShellFixture f;
    auto view = f.webViewFor(f.profiles[0]);
    f.model->isCallActive.set(true);
    f.model->suspendNetworkActivityIfIdle();
    EXPECT_FALSE(f.model->isNetworkSuspended());
    f.model->isCallActive.set(false);
    f.model->suspendNetworkActivityIfIdle();
    EXPECT_TRUE(f.model->isNetworkSuspended());
    ASSERT_EQ(view->htmlLoads.size(), 1u);

    const auto loads = view->loads.size();
    f.model->resumeNetworkActivityIfNeeded(ForceReload::no);
    EXPECT_FALSE(f.model->isNetworkSuspended());
    ASSERT_EQ(view->loads.size(), loads + 1);
    EXPECT_TRUE(view->loads.back().headers.empty());
    f.model->resumeNetworkActivityIfNeeded(ForceReload::no);
    EXPECT_EQ(view->loads.size(), loads + 1);

    view->failProvisionalNavigation({engine::kURLErrorDomain, engine::kURLErrorCannotConnectToHost, ""});
    ASSERT_TRUE(f.model->pageTrouble());
    f.model->retryPage();
    EXPECT_EQ(view->loads.size(), loads + 2);
    f.switchTo(f.profiles[1]);
    EXPECT_FALSE(f.model->pageTrouble()) << "another profile's page is not in trouble";
    f.webViewFor(f.profiles[1])
        ->failProvisionalNavigation({engine::kURLErrorDomain, engine::kURLErrorTimedOut, ""});
    EXPECT_TRUE(f.model->pageTrouble());
}

TEST(MainWebViewModel, DeletingTheActiveProfileLeavesNoTraceAfterEveryPendingSave) {
    ShellFixture f;
    const auto& a = f.profiles[0];
    const TempDir scratch;
    const auto dataDir = scratch.path();
    std::filesystem::create_directories(dataDir / a.id.text());
    ProfileDeletionCleaner cleaner(*f.store,
                                   {[&](const ProfileId& id) { f.guardedPreferences.forgetProfile(id); },
                                    [&](const ProfileId& id) { f.sessions.forgetProfile(id); },
                                    [&](const ProfileId& id) { f.model->forgetProfile(id); }},
                                   {dataDir});

    f.scheduler.advance(1s);
    f.jar(a).cookies = {{"sid", "A", "web.orvi.example"}};
    f.report(a, 3);
    f.webViewFor(a)->postMessage("logHandler", {{"type", "log"}, {"message", "user logged in"}});
    f.webViewFor(a)->finishNavigation(OrviDomains::defaults().serviceOrigin());
    f.cookies->holdStorageAnswers = true;
    f.jar(a).deferAnswers = true;

    f.store->deleteProfile(a.id);
    f.jar(a).releaseDeferred();
    f.cookies->releaseStorageAnswers();
    f.scheduler.advance(60s);
    f.jar(a).releaseDeferred();
    f.cookies->releaseStorageAnswers();

    EXPECT_FALSE(f.preferences.contains(keys::cookies(a.id)));
    EXPECT_FALSE(f.preferences.contains(keys::storage(a.id)));
    EXPECT_FALSE(std::filesystem::exists(dataDir / a.id.text()));
    EXPECT_EQ(f.model->unreadCounts().count(a.id), 0u);
    EXPECT_EQ(f.model->coordinator()->profile().id, f.profiles[1].id);
}

// Editing the active profile's city rebuilds its page; the coordinator, kept across the edit,
// still holds the profile as it was before.
TEST(PageHost, ARebuiltPageTakesAnEditedLocationAndAnotherProfilesCoordinatorSwapsInItsOwnWebView) {
    ShellFixture f;
    const auto& [a, b] = std::tie(f.profiles[0], f.profiles[1]);
    auto edited = a;
    edited.locationSettings = LocationSettings::presets().back();
    f.store->updateProfile(edited);
    f.showHost();
    ASSERT_EQ(f.builtLocations.size(), 2u);
    EXPECT_EQ(f.builtLocations.back(), edited.locationSettings);

    f.preferences.setData(keys::cookies(b.id), R"({"sid":"B"})");
    f.scheduler.advance(1s);
    auto oldHost = f.host;
    f.hostFollower.disconnect();
    f.store->setActiveProfile(b.id);

    auto shown = oldHost->update();
    f.scheduler.advance(1s);
    EXPECT_EQ(shown, f.webViewFor(b));
    EXPECT_TRUE(f.jar(a).cookies.empty());
    ASSERT_EQ(f.jar(b).cookies.size(), 1u);
    EXPECT_EQ(f.webViewFor(b)->loads.size(), 1u);
    EXPECT_EQ(f.webViewFor(b)->navigationDelegate, f.model->coordinator().get());

    // The same profile with the coordinator already attached: nothing more happens.
    EXPECT_EQ(oldHost->update(), shown);
    f.scheduler.advance(1s);
    EXPECT_EQ(f.webViewFor(b)->loads.size(), 1u);
}

TEST(PageHost, ThePageStartedBeforeTheWindowIsTheOneItShowsWithTheEditedLocation) {
    ShellFixture f;
    auto edited = f.profiles[0];
    edited.locationSettings = LocationSettings::presets().back();
    f.store->updateProfile(edited);
    f.webViews.clear(); // a new start: no view built yet
    f.builtLocations.clear();
    PageHost::prewarm(*f.model, f.context());
    const auto prewarmed = f.webViewFor(edited);
    EXPECT_EQ(prewarmed->prewarms, 1);
    f.showHost();
    EXPECT_EQ(f.host->webView(), prewarmed);
    EXPECT_EQ(f.builtLocations, std::vector<std::optional<LocationSettings>>(2, edited.locationSettings));
}

// Every switch also hands the cached pages to new coordinators; their scripts must not pile up.
TEST(MainWebViewModel, ABackgroundRiseNotifiesOnceUnderItsNameAndSwitchingBackRepeatsNothingNorAddsScripts) {
    ShellFixture f(3, true);
    const auto& [a, b] = std::tie(f.profiles[0], f.profiles[1]);
    f.settle(a);
    f.report(a, 2);
    f.switchTo(b);
    f.settle(b);
    ASSERT_TRUE(f.model->backgroundSupervisor(a.id));
    const auto scripts =
        std::make_pair(f.webViewFor(a)->userScripts.size(), f.webViewFor(b)->userScripts.size());

    f.report(a, 5);
    f.scheduler.advance(2s);
    ASSERT_EQ(f.notifier.posted.size(), 1u);
    EXPECT_EQ(f.badge.counts.back(), 5);

    const auto evaluationsBefore = f.webViewFor(a)->evaluations.size();
    f.switchTo(a);
    auto pageA = f.webViewFor(a);
    // The page hears a new listener and sends what it shows now, as the script does.
    ASSERT_GT(pageA->evaluations.size(), evaluationsBefore);
    EXPECT_NE(pageA->evaluations.back().script.find("unreadCountHandler"), std::string::npos);
    f.report(a, 5);
    f.switchTo(b);
    f.report(a, 5);
    f.switchTo(a);
    f.scheduler.advance(5s);
    EXPECT_EQ(f.notifier.posted.size(), 1u);
    EXPECT_EQ(f.model->unreadCount(), 5);
    EXPECT_EQ(pageA->loads.size(), 1u);
    EXPECT_EQ(pageA->reloadCount, 0);
    EXPECT_EQ(pageA->navigationDelegate, f.model->coordinator().get());
    EXPECT_FALSE(f.model->backgroundSupervisor(a.id));
    EXPECT_TRUE(f.model->backgroundSupervisor(b.id));
    EXPECT_EQ(std::make_pair(pageA->userScripts.size(), f.webViewFor(b)->userScripts.size()), scripts);
}

TEST(MainWebViewModel, TheCountsOfASettlingDocumentAreABaselineOnScreenOffItAndAcrossASwitch) {
    enum class Switch { never, beforeTheDocument, whileItSettles };
    for (const auto when : {Switch::never, Switch::beforeTheDocument, Switch::whileItSettles}) {
        SCOPED_TRACE(static_cast<int>(when));
        ShellFixture f(2, true);
        const auto& [a, b] = std::tie(f.profiles[0], f.profiles[1]);
        f.settle(a);
        f.report(a, 0);
        if (when == Switch::beforeTheDocument)
            f.switchTo(b);

        // A login: the client draws its empty frame, then its chat list with the old messages.
        f.webViewFor(a)->navigationDelegate->didCommitNavigation(*f.webViewFor(a));
        if (when == Switch::whileItSettles)
            f.switchTo(b);
        f.report(a, 0);
        f.scheduler.advance(1s);
        f.report(a, 7);
        f.scheduler.advance(2s);
        EXPECT_TRUE(f.notifier.posted.empty());
        EXPECT_EQ(f.model->unreadCounts().at(a.id), 7);
        EXPECT_EQ(f.badge.counts.back(), 7);

        f.report(a, 9);
        f.scheduler.advance(2s);
        ASSERT_EQ(f.notifier.posted.size(), 1u) << "the first counters ended the settling";
        EXPECT_EQ(f.notifier.posted[0].body, "2 новых сообщения");

        // A page that stays empty past the settling time reports news again.
        f.webViewFor(a)->navigationDelegate->didCommitNavigation(*f.webViewFor(a));
        f.report(a, 0);
        f.scheduler.advance(OrviWebCoordinator::kDocumentSettleTime + 1s);
        f.report(a, 1);
        f.scheduler.advance(2s);
        EXPECT_EQ(f.notifier.posted.size(), 2u);
    }
}

TEST(MainWebViewModel, ABackgroundPageSavesItsOwnSessionIsReloadedAfterACrashAndNoLongerCountsOnceDeleted) {
    ShellFixture f;
    const auto& [a, b] = std::tie(f.profiles[0], f.profiles[1]);
    f.settle(a);
    f.switchTo(b);
    auto pageA = f.webViewFor(a);
    auto savesOf = [&](const ProfileId& id) {
        return std::count(f.cookies->calls.begin(), f.cookies->calls.end(), "saveCookies " + id.text());
    };
    const auto before = savesOf(a.id);
    f.scheduler.advance(61s);
    EXPECT_EQ(savesOf(a.id), before + 2) << "the periodic save goes on off screen";

    pageA->postMessage("logHandler", {{"type", "log"}, {"message", "user logged in"}});
    f.scheduler.advance(4s);
    EXPECT_GE(savesOf(a.id), before + 4);
    EXPECT_EQ(savesOf(b.id), 0) << "nothing of A's page is saved as B's";

    pageA->terminateContentProcess();
    f.scheduler.advance(2s);
    EXPECT_EQ(pageA->reloadCount, 1);

    f.report(a, 1);
    f.model->forgetProfile(a.id);
    f.report(a, 4);
    EXPECT_FALSE(f.model->unreadCounts().count(a.id));
    EXPECT_FALSE(f.model->backgroundSupervisor(a.id));
    EXPECT_EQ(f.notifications.reports.back(), (std::pair<ProfileId, int>{a.id, 1}));
}

TEST(StartupPageLoading, LoadsTheOtherPagesOneAtATimeOnlyAfterThePageOnScreenAndOnlyWhenSwitchedOn) {
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "on" : "off");
        ShellFixture f;
        const auto& [a, b, c] = std::tie(f.profiles[0], f.profiles[1], f.profiles[2]);
        if (!enabled)
            f.preferences.setBoolean(keys::kLoadAllProfilesAtStartup, false);
        f.preferences.setData(keys::cookies(b.id), R"({"sid":"B"})");
        auto loading = StartupPageLoading::create(
            f.model, *f.store,
            {{PageLoadContext{f.scheduler, f.preferences, OrviDomains::defaults(), f.vpn, f.sessions},
              [&f](const Profile& p, const std::optional<LocationSettings>&) { return f.webViewFor(p); }},
             f.placement,
             {}});
        loading->start();
        auto pageA = f.webViewFor(a);
        pageA->startProvisionalNavigation();
        f.scheduler.advance(5s);
        EXPECT_EQ(f.webViews.size(), 1u) << "nothing else goes out while the page on screen loads";

        pageA->finishNavigation(OrviDomains::defaults().serviceOrigin());
        f.scheduler.advance(1s);
        if (!enabled) {
            EXPECT_EQ(f.webViews.size(), 1u);
            continue;
        }
        ASSERT_EQ(f.webViewFor(b)->loads.size(), 1u);
        ASSERT_EQ(f.jar(b).cookies.size(), 1u) << "B's session goes in before its first request";
        EXPECT_FALSE(f.webViews.count(c.id)) << "one page at a time";
        EXPECT_EQ(f.host->webView(), pageA);
        EXPECT_TRUE(f.model->backgroundSupervisor(b.id));

        f.webViewFor(b)->startProvisionalNavigation();
        f.webViewFor(b)->failProvisionalNavigation(Error{"net", -1, "offline"});
        f.scheduler.advance(1s);
        ASSERT_EQ(f.webViewFor(c)->loads.size(), 1u) << "a failed page lets the next one go";

        f.report(c, 4);
        EXPECT_EQ(f.model->unreadCounts().at(c.id), 4);
        f.switchTo(c);
        EXPECT_EQ(f.host->webView(), f.webViewFor(c));
        EXPECT_EQ(f.webViewFor(c)->loads.size(), 1u) << "selecting it shows the loaded page as it is";
        EXPECT_EQ(f.notifications.reports.size(), 1u);
    }
}

TEST(MainWebViewModel, ABackgroundPageHibernatesAfterTheSetTimeSavingFirstAndIsRebuiltWhenSelected) {
    ShellFixture f;
    const auto& [a, b] = std::tie(f.profiles[0], f.profiles[1]);
    auto factory = std::make_shared<RecordingFactory>();
    f.model->setWebViewFactory(factory);
    f.settle(a);
    f.report(a, 3);
    f.switchTo(b);
    f.scheduler.advance(20min);
    EXPECT_TRUE(factory->removed.empty()) << "never is the initial choice";

    // A setting chosen later counts from when the page left; a selection during the save keeps it.
    f.cookies->holdStorageAnswers = true;
    f.model->setHibernateAfter(15min);
    f.scheduler.advance(1s);
    ASSERT_EQ(f.cookies->held.size(), 1u);
    f.cookies->holdStorageAnswers = false;
    f.switchTo(a);
    f.cookies->releaseStorageAnswers();
    EXPECT_TRUE(factory->removed.empty());
    EXPECT_EQ(f.host->webView(), f.webViewFor(a));
    EXPECT_TRUE(f.model->hibernatedProfiles().empty());

    f.switchTo(b);
    f.scheduler.advance(14min);
    // Back on screen before the time: its clock starts again when it leaves once more.
    f.switchTo(a);
    f.switchTo(b);
    f.scheduler.advance(14min);
    EXPECT_TRUE(factory->removed.empty());

    auto oldPage = f.webViewFor(a);
    const auto storageSaves = f.cookies->count("saveStorage " + a.id.text());
    f.cookies->holdStorageAnswers = true;
    f.scheduler.advance(2min);
    EXPECT_TRUE(factory->removed.empty()) << "the page stays until its session is saved";
    EXPECT_EQ(f.cookies->count("saveStorage " + a.id.text()), storageSaves + 1);
    f.cookies->holdStorageAnswers = false;
    f.cookies->releaseStorageAnswers();
    EXPECT_EQ(factory->removed, std::vector<ProfileId>{a.id});
    f.webViews.erase(a.id); // as the real factory drops its cached page
    EXPECT_FALSE(f.model->backgroundSupervisor(a.id));
    EXPECT_EQ(f.model->hibernatedProfiles(), std::set<ProfileId>{a.id});
    EXPECT_EQ(f.model->unreadCounts().at(a.id), 3);
    EXPECT_EQ(f.model->livePages().size(), 1u);
    EXPECT_EQ(oldPage->navigationDelegate, nullptr);

    f.switchTo(a);
    EXPECT_NE(f.webViewFor(a), oldPage);
    EXPECT_EQ(f.host->webView(), f.webViewFor(a));
    EXPECT_EQ(f.webViewFor(a)->loads.size(), 1u);
    EXPECT_TRUE(f.model->hibernatedProfiles().empty());
}

TEST(MainWebViewModel, EveryProfilesPageIsJudgedByTheInjectedPolicy) {
    // Built for other domains, the injected policy refuses what the fixture's own would allow.
    ShellFixture f(2, false, std::make_shared<NavigationPolicyService>(testDomains(), true));
    const auto& [a, b] = std::tie(f.profiles[0], f.profiles[1]);
    f.settle(a);
    f.switchTo(b);
    ASSERT_TRUE(f.model->backgroundSupervisor(a.id));
    for (const auto& coordinator : {f.model->coordinator(), f.model->backgroundSupervisor(a.id)}) {
        std::optional<engine::PolicyDecision> decision;
        coordinator->decidePolicyForNavigationAction(*f.webViewFor(a), {"https://web.orvi.ru/"},
                                                     [&](engine::PolicyDecision d) { decision = d; });
        EXPECT_EQ(decision, engine::PolicyDecision::cancel) << coordinator->profile().name;
    }
}

// The page answers in three ways or fails; each must end in exactly one report.
TEST(SidebarNavigation, EveryAnswerOfThePageEndsInExactlyOneReport) {
    ShellFixture f(1);
    auto webView = f.webViewFor(f.profiles[0]);
    f.scheduler.advance(5s);
    const auto& contacts = SidebarNavigation::items()[2];
    const auto evaluations = webView->evaluations.size();
    const std::vector<engine::ScriptResult> answers{Json(true), Json("нет такого раздела"), Json(nullptr),
                                                    Error{"page", 1, "boom"}};
    for (const auto& answer : answers) {
        webView->responder = [answer](const std::string&, engine::World) { return answer; };
        const auto before = f.log.lines().size();
        EXPECT_TRUE(SidebarNavigation::switchTo(*f.model, contacts));
        f.scheduler.runPending();
        EXPECT_EQ(f.log.lines().size(), before + 1);
        EXPECT_EQ(webView->evaluations.back().world, engine::World::page);
    }
    EXPECT_EQ(webView->evaluations.size(), evaluations + answers.size());
}
