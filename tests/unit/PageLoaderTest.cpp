#include "core/page/PageLoader.h"

#include "core/page/PageRequest.h"
#include "core/page/WebViewSessions.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "support/PageFakes.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

struct LoaderFixture {
    LoaderFixture() {
        webView = std::static_pointer_cast<FakeWebView>(engine.makeWebView({engine.dataStore(owner.text())}));
        webView->setCustomUserAgent("Mozilla/5.0 (X11; Linux x86_64) Test");
        sessions.recordOwner(webView, owner);
        preferences.setData(keys::cookies(owner), R"({"sid":"secret"})");
    }
    std::shared_ptr<PageLoader> makeLoader(bool ignoreVPN = false) {
        return PageLoader::create(
            webView, owner, location, cookies->sync(), placement,
            PageLoadContext{scheduler, preferences, OrviDomains::defaults(), vpn, sessions},
            PageLoader::Options{ignoreVPN, [this] { ++vpnWarnings; }});
    }
    FakeCookieStore& jar() { return static_cast<FakeDataStore&>(webView->dataStore()).cookies; }

    LogCapture log;
    ManualScheduler scheduler;
    FakeEngine engine;
    MemoryPreferencesStore preferences;
    WebViewSessions sessions;
    FakeVPNDetection vpn{scheduler};
    std::shared_ptr<FakeSessionSync> cookies = std::make_shared<FakeSessionSync>(preferences);
    std::shared_ptr<FakePlacement> placement = std::make_shared<FakePlacement>();
    ProfileId owner = ProfileId::generate();
    LocationSettings location{"Europe/Berlin", "de_DE", "Берлин", std::nullopt, std::nullopt};
    std::shared_ptr<FakeWebView> webView;
    int vpnWarnings = 0;
};

} // namespace

TEST(PageRequest, AcceptLanguageFollowsTheProfileLocale) {
    const std::pair<const char*, const char*> cases[] = {
        {"ru_RU", "ru-RU,ru;q=0.9,en-US;q=0.8,en;q=0.7"},
        {"en", "en-RU,en;q=0.9,en-US;q=0.8,en;q=0.7"},
        {"de_at", "de-AT,de;q=0.9,en-US;q=0.8,en;q=0.7"},
        {"", "ru-RU,ru;q=0.9,en-US;q=0.8,en;q=0.7"},
        {"__EN__us", "en-US,en;q=0.9,en-US;q=0.8,en;q=0.7"},
        {"ru\r\nX-Evil: 1_RU", "rux-evil: 1-RU,rux-evil: 1;q=0.9,en-US;q=0.8,en;q=0.7"}};
    for (const auto& [locale, expected] : cases)
        EXPECT_EQ(PageRequest::acceptLanguage(locale), expected) << locale;
}

// The headers themselves are checked as they leave the real engine.
TEST(PageLoader, RestoresCookiesThenStorageAndThenLoadsTheServiceWithTheHeaders) {
    LoaderFixture f;
    auto loader = f.makeLoader();
    loader->start();
    EXPECT_TRUE(f.cookies->calls.empty()) << "the host puts the web view in place first";
    f.scheduler.advance(0s);
    EXPECT_EQ(f.cookies->calls, (std::vector<std::string>{"restoreCookies " + f.owner.text(),
                                                          "restoreStorage " + f.owner.text()}));
    EXPECT_EQ(f.jar().cookies.size(), 1u);

    ASSERT_EQ(f.webView->loads.size(), 1u);
    const auto& request = f.webView->loads[0];
    EXPECT_EQ(request.url, OrviDomains::defaults().serviceOrigin());
    EXPECT_EQ(request.timeoutSeconds, 30.0);
    EXPECT_EQ(request.headers.size(), 10u);
    EXPECT_TRUE(f.sessions.isSessionLive(*f.webView));
}

TEST(PageLoader, TheWindowWaitEndsWhenTheWindowIsMappedAndAtTheLatestAfterItsBound) {
    struct Case {
        const char* name;
        std::optional<Duration> mapAt;
        Duration checkedAt;
    };
    for (const auto& c : {Case{"mapped early", 0.05s, 0.05s}, Case{"never mapped", std::nullopt, 0.8s},
                          Case{"mapped after the bound", 0.4s, 0.8s}}) {
        SCOPED_TRACE(c.name);
        LoaderFixture f;
        f.placement->visible = false;
        auto loader = f.makeLoader();
        loader->start();
        auto advanceTo = [&](Duration t) { f.scheduler.advance(t - Duration(f.scheduler.elapsed())); };
        if (c.mapAt) {
            advanceTo(*c.mapAt);
            f.placement->map();
            f.placement->map();
        }
        if (c.mapAt != c.checkedAt)
            advanceTo(c.checkedAt - 0.001s);
        EXPECT_TRUE(f.webView->loads.empty());
        EXPECT_EQ(f.vpn.checks, 1) << "the VPN answer is asked for during the wait";
        EXPECT_EQ(f.cookies->calls, std::vector<std::string>{"restoreCookies " + f.owner.text()});
        if (c.mapAt == c.checkedAt)
            f.scheduler.advance(0s);
        else
            advanceTo(c.checkedAt);
        f.scheduler.advance(0s);
        EXPECT_EQ(f.webView->loads.size(), 1u);
        f.scheduler.advance(2s);
        EXPECT_EQ(f.vpn.checks, 1) << "one load per start, however often the window maps";
        EXPECT_EQ(f.webView->loads.size(), 1u);
    }
}

// Closing the warning must not leave the window empty for the rest of the run, nor bring
// the warning straight back, nor start a second load of a page already past the gate.
TEST(PageLoader, AVPNHoldsTheLoadAtTheGateUntilTheWarningIsIgnoredOrTheVPNIsGone) {
    struct Case {
        bool ignoreAtStart;
        bool vpnStillUp;
        bool ignoreNow;
        std::size_t loads;
    };
    for (const auto& c : {Case{true, true, false, 1}, Case{false, false, false, 1},
                          Case{false, true, true, 1}, Case{false, true, false, 0}}) {
        SCOPED_TRACE(testing::Message() << c.ignoreAtStart << c.vpnStillUp << c.ignoreNow);
        LoaderFixture f;
        f.vpn.vpn = true;
        auto loader = f.makeLoader(c.ignoreAtStart);
        loader->start();
        f.scheduler.advance(1s);
        EXPECT_EQ(loader->isHeldAtGate(), !c.ignoreAtStart);
        EXPECT_EQ(f.webView->loads.size(), c.ignoreAtStart ? 1u : 0u);
        EXPECT_EQ(f.cookies->calls.empty(), !c.ignoreAtStart) << "nothing is restored behind the gate";
        f.vpn.vpn = c.vpnStillUp;
        loader->retryGate(c.ignoreNow, false);
        f.scheduler.advance(1s);
        EXPECT_EQ(f.webView->loads.size(), c.loads);
        EXPECT_EQ(f.vpnWarnings, c.ignoreAtStart ? 0 : 1);
        EXPECT_EQ(loader->isHeldAtGate(), c.loads == 0);
        loader->retryGate(true, true);
        f.scheduler.advance(1s);
        EXPECT_EQ(f.webView->loads.size(), 1u);
    }
}

TEST(PageLoader, AWebViewAlreadyOnTheServiceIsNotReloaded) {
    const auto host = OrviDomains::defaults().webHost;
    const std::pair<std::string, bool> cases[] = {{"https://" + host + "/chat/1", false},
                                                  {"https://sub." + host + "/", false},
                                                  {"https://evil" + host + "/", true},
                                                  {"", true}};
    for (const auto& [url, reloaded] : cases) {
        LoaderFixture f;
        f.webView->currentURL = url;
        auto loader = f.makeLoader();
        loader->start();
        f.scheduler.advance(1s);
        EXPECT_EQ(f.webView->loads.size(), reloaded ? 1u : 0u) << url;
        EXPECT_EQ(f.cookies->calls.empty(), !reloaded) << url;
    }
}

TEST(PageLoader, WatchdogStopsASlowLoadAndRetriesItOnceWhenIdleButTheTestPageHasNone) {
    struct Case {
        bool testPage;
        bool loadingAt45;
        bool busyAgainAt47;
        int stops;
        std::size_t loads;
    };
    for (const auto& c : {Case{false, false, false, 0, 1}, Case{false, true, false, 1, 2},
                          Case{false, true, true, 1, 1}, Case{true, true, false, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.testPage << c.loadingAt45 << c.busyAgainAt47);
        LoaderFixture f;
        f.preferences.setBoolean(keys::kUseTestPage, c.testPage);
        auto loader = f.makeLoader();
        loader->start();
        f.scheduler.advance(0.4s);
        ASSERT_EQ(f.webView->loads.size(), c.testPage ? 0u : 1u);
        ASSERT_EQ(f.webView->htmlLoads.size(), c.testPage ? 1u : 0u) << "the test page replaces the request";
        if (c.testPage) {
            EXPECT_NE(f.webView->htmlLoads[0].first.find("<title>Test Page</title>"), std::string::npos);
        }
        f.webView->loading = c.loadingAt45;
        f.scheduler.advance(45s);
        EXPECT_EQ(f.webView->stopCount, c.stops);
        f.webView->loading = c.busyAgainAt47;
        f.scheduler.advance(2s);
        ASSERT_EQ(f.webView->loads.size(), c.loads);
        if (c.loads == 2) {
            EXPECT_TRUE(f.webView->loads[1].headers.empty());
            EXPECT_EQ(f.webView->loads[1].timeoutSeconds, 20.0);
        }
        f.scheduler.advance(100s);
        EXPECT_EQ(f.webView->loads.size(), c.loads) << "the retry has no watchdog of its own";
    }
}

TEST(PageLoader, NothingIsRequestedWithoutAWindowOrOnceTheLoaderIsGone) {
    for (const bool window : {false, true}) {
        LoaderFixture f;
        f.placement->window = window;
        f.placement->visible = !window;
        auto loader = f.makeLoader();
        loader->start();
        f.scheduler.advance(0.35s);
        if (window)
            loader.reset();
        f.scheduler.advance(2s);
        EXPECT_TRUE(f.webView->loads.empty()) << window;
    }
}
