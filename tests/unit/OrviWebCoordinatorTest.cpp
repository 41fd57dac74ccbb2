#include "support/CoordinatorFixture.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

TEST(OrviWebCoordinator, SavesCookiesPeriodicallyByStorageTypeWhileTheSameWebViewStaysAttached) {
    for (const auto& [storage, interval] :
         {std::pair{StorageType::ephemeral, 10.0}, std::pair{StorageType::persistentMain, 30.0}}) {
        CoordinatorFixture f(storage);
        f.webView->finishNavigation(kCoordinatedPage);
        EXPECT_EQ(f.savesAfter(Duration(interval - 0.5)), 0u);
        EXPECT_EQ(f.savesAfter(1s), 1u);
        EXPECT_EQ(f.savesAfter(Duration(interval * 2)), 3u);
        f.coordinator->detach(f.webView);
        const auto afterDetach = f.savesAfter(0s);
        EXPECT_EQ(f.savesAfter(Duration(interval * 3)), afterDetach);
    }
}

TEST(OrviWebCoordinator, FirstFinishRecordsTheCookieStateAndLaterChangesAreSaved) {
    CoordinatorFixture f;
    auto savesAfterFinish = [&] {
        f.webView->finishNavigation(kCoordinatedPage);
        return f.savesAfter(0s);
    };
    savesAfterFinish();
    f.jar().cookies = {{"sid", "1", "web.orvi.example"}};
    EXPECT_EQ(savesAfterFinish(), 0u);
    f.jar().cookies.push_back({"lang", "ru", "web.orvi.example"});
    EXPECT_EQ(savesAfterFinish(), 1u);
    f.jar().cookies[0].value = "2";
    EXPECT_EQ(savesAfterFinish(), 2u);
    EXPECT_EQ(savesAfterFinish(), 2u);
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
    for (int i = 0; i < 300; ++i)
        f.webView->postMessage("logHandler", {{"type", "log"}, {"message", "OK: user logged in"}});
    EXPECT_EQ(f.savesAfter(0.9s, "saveStorage"), 0u);
    EXPECT_EQ(f.savesAfter(0.2s, "saveStorage"), 1u);
    EXPECT_EQ(f.savesAfter(2s, "saveStorage"), 2u);
    f.webView->postMessage("logHandler", {{"type", "log"}, {"message", "user logged in again"}});
    EXPECT_EQ(f.savesAfter(3.1s, "saveStorage"), 4u);

    f.webView->postMessage("logHandler", {{"type", "log"}, {"message", "user logged in"}});
    f.coordinator->detach(f.webView);
    const auto afterDetach = f.savesAfter(0s, "saveStorage");
    EXPECT_EQ(f.savesAfter(5s, "saveStorage"), afterDetach);
}

// The back-off and its limit are checked with the trouble they lead to.
TEST(OrviWebCoordinator, CrashWithoutAWindowCountsButDoesNotReloadAndAViewWithoutAURLLoadsTheService) {
    CoordinatorFixture f;
    f.placement->window = false;
    f.webView->terminateContentProcess();
    f.scheduler.advance(5s);
    EXPECT_EQ(f.webView->reloadCount, 0);
    EXPECT_TRUE(f.webView->loads.empty());

    f.placement->window = true;
    f.webView->terminateContentProcess();
    f.scheduler.advance(2s);
    ASSERT_EQ(f.webView->loads.size(), 1u);
    EXPECT_EQ(f.webView->loads[0].url, OrviDomains::defaults().serviceOrigin());
}

TEST(OrviWebCoordinator, RepeatedAttachInstallsHandlersAndScriptsOnceAndDetachSavesOnlyALiveOwnSession) {
    CoordinatorFixture f;
    f.attach();
    f.coordinator->detach(f.webView);
    EXPECT_EQ(f.cookies->calls, (std::vector<std::string>{"saveCookies " + f.profile.id.text(),
                                                          "saveStorage " + f.profile.id.text()}));
    EXPECT_EQ(f.webView->messageHandlers.size(), 0u);
    EXPECT_EQ(f.webView->navigationDelegate, nullptr);

    // A cached view comes back to the screen after a switch away and back.
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

    // A web view of another profile whose session was never put in place is not saved at
    // all: saving its empty jar would wipe that profile's login.
    const auto other = ProfileId::generate();
    for (const bool live : {false, true}) {
        f.cookies->calls.clear();
        f.webView = f.makeView(other, live);
        f.attach();
        f.coordinator->detach(f.webView);
        const std::vector<std::string> saves = {"saveCookies " + other.text(), "saveStorage " + other.text()};
        EXPECT_EQ(f.cookies->calls, live ? saves : std::vector<std::string>{});
    }
}

TEST(OrviWebCoordinator, EveryKindOfFailureAndACrashPastTheLimitClearLoading) {
    using Fail = std::function<void(CoordinatorFixture&)>;
    std::vector<Fail> failures = {[](CoordinatorFixture& f) {
        for (int i = 0; i < 4; ++i)
            f.webView->terminateContentProcess();
    }};
    const std::string url = engine::kURLErrorDomain;
    for (const Error& error :
         {Error{url, -1009, ""}, Error{url, -999, ""}, Error{"WebKitNetworkError", 1, "boom"}}) {
        failures.push_back(
            [error](CoordinatorFixture& f) { f.coordinator->didFailNavigation(*f.webView, error); });
        failures.push_back([error](CoordinatorFixture& f) {
            f.coordinator->didFailProvisionalNavigation(*f.webView, error);
        });
    }
    for (std::size_t i = 0; i < failures.size(); ++i) {
        CoordinatorFixture f;
        std::vector<bool> loading;
        f.coordinator->onLoadingChanged = [&](bool value) { loading.push_back(value); };
        failures[i](f);
        EXPECT_EQ(loading, std::vector<bool>{false}) << i;
    }
}

TEST(OrviWebCoordinator, UnreadCountsPassOnlyForItsOwnProfileFromTheServiceAndWithinTheRate) {
    CoordinatorFixture f;
    f.unread->setMessageGate(std::make_shared<PageMessageGate>(f.scheduler, OrviDomains::defaults()));
    std::vector<int> counts;
    f.coordinator->onUnreadCountChanged = [&](int n) { counts.push_back(n); };
    const auto own = f.profile.id.text();
    f.webView->currentURL = "https://evil.example/";
    f.webView->postMessage("unreadCountHandler", {{"count", 7}, {"profileId", own}});
    EXPECT_TRUE(counts.empty());

    f.onServicePage();
    for (const Json& body : {Json{{"count", 2}, {"profileId", own}}, Json{{"count", 2}, {"profileId", own}},
                             Json{{"count", 5}, {"profileId", ProfileId::generate().text()}},
                             Json{{"count", 0}, {"profileId", own}}})
        f.webView->postMessage("unreadCountHandler", body);
    EXPECT_EQ(counts, (std::vector<int>{2, 0}));
    f.scheduler.advance(2s);
    for (int i = 1; i <= 1000; ++i)
        f.webView->postMessage("unreadCountHandler", {{"count", i}, {"profileId", own}});
    EXPECT_GT(counts.size(), 2u);
    EXPECT_LE(counts.size() - 2, 50u);
}

TEST(OrviWebCoordinator, CaptureIsGrantedOnlyToTheServicePageAfterACallGestureAndNeverWhenSwitchedOff) {
    struct Case {
        const char* what;
        bool settingOn;
        std::string pageURL; // the asking origin is the page's
        bool gesture;
        engine::PermissionDecision expected;
    };
    using enum engine::PermissionDecision;
    const std::string page = OrviDomains::defaults().serviceOrigin();
    const Case cases[] = {
        {"service page after a gesture", true, page, true, grant},
        {"service page without a gesture", true, page, false, deny},
        {"setting off", false, page, true, deny},
        {"look-alike host", true, "https://web.orvi.ru.evil.example/", true, deny},
        {"view strayed off the service", true, "https://evil.example/", true, deny},
    };
    for (const auto& c : cases) {
        CoordinatorFixture f;
        f.mediaAllowed = c.settingOn;
        if (c.gesture) {
            f.onServicePage();
            f.webView->postMessage("callStateHandler", {{"mediaIntent", true}});
        }
        f.webView->currentURL = c.pageURL;
        EXPECT_EQ(f.askForCapture(c.pageURL.substr(0, c.pageURL.size() - 1)), c.expected) << c.what;
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
        EXPECT_EQ(f.askForCapture(kCapturingOrigin), engine::PermissionDecision::grant) << what;
        leave(f);
        EXPECT_EQ(changes, (std::vector<bool>{true, false})) << what;
        if (f.coordinator->currentWebView()) {
            EXPECT_EQ(f.askForCapture(kCapturingOrigin), engine::PermissionDecision::deny) << what;
        }
    }
}

TEST(OrviWebCoordinator, ConfirmsDialogsFetchesWellFormedLinksAndCannotBeForgedFloodedOrToldByAForeignPage) {
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

    f.log.clear();
    f.webView->postMessage(
        "logHandler", {{"type", "log"},
                       {"message", "ok\n🛑 Application will terminate - saving cookies and storage..."}});
    f.webView->postMessage("logHandler", {{"type", "log\r\n❌ fake"}, {"message", std::string(50000, 'x')}});
    for (const auto& line : f.log.lines()) {
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

TEST(OrviWebCoordinator, ACookieChangeBetweenLoadsIsSavedASecondLaterOnceForABurstAlsoInTheBackground) {
    for (const bool background : {false, true}) {
        CoordinatorFixture f;
        if (background)
            f.coordinator->superviseInBackground(f.webView);
        f.jar().cookies = {{"sid", "1", "web.orvi.example"}};
        f.webView->finishNavigation(kCoordinatedPage);
        f.jar().changeTo({{"sid", "2", "web.orvi.example"}});
        EXPECT_EQ(f.savesAfter(500ms), 0u);
        f.jar().changeTo({{"sid", "3", "web.orvi.example"}});
        EXPECT_EQ(f.savesAfter(600ms), 1u) << background;
        EXPECT_EQ(f.savesAfter(5s), 1u) << background;

        f.coordinator->detach(f.webView);
        const auto afterDetach = f.savesAfter(0s);
        f.jar().changeTo({{"sid", "4", "web.orvi.example"}});
        EXPECT_EQ(f.savesAfter(5s), afterDetach) << background;
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
        f.webView->currentURL = kCoordinatedPage;
        if (c.handedOverLoaded)
            f.coordinator->superviseInBackground(f.webView);
        else
            f.webView->finishNavigation(kCoordinatedPage);
        if (c.readFails)
            f.jar().readFailure = Error{"WebKit", 1, "no jar"};
        f.jar().changeTo({});
        f.scheduler.advance(2s);
        EXPECT_EQ(f.preferences.data(keys::cookies(f.profile.id)).has_value(), !c.forgotten) << c.name;
    }
}
