#include "core/page/OrviWebCoordinator.h"
#include "core/page/PageDownloads.h"
#include "core/page/PageLoader.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewSessions.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieEncryption.h"
#include "core/session/CookieJarSync.h"
#include "core/session/StorageSnapshotSync.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "fakes/LogCapture.h"
#include "fakes/MemoryPreferencesStore.h"
#include "fakes/RecordingFileSaving.h"
#include "integration/WebKitTestSupport.h"
#include "platform/linux/GLibScheduler.h"
#include "support/PageFakes.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

// One profile's web view against the imitation service, supervised by a real coordinator
// and loaded by the real page loader, with the real session sync behind both.
struct PageFixture {
    PageFixture() {
        auto parsed = OrviDomains::fromFile(env.service->writeEndpointsFile(env.root).string());
        EXPECT_TRUE(parsed.ok());
        domains = parsed.value();
        cookies = std::make_shared<CookieJarSync>(preferences, scheduler);
        sync = SessionSync{cookies, std::make_shared<StorageSnapshotSync>(preferences, scheduler, domains)};
        coordinator =
            OrviWebCoordinator::create(Profile{profileId, "Основной", false, StorageType::persistentMain,
                                               false, LocationSettings::defaultLocation(), true, true},
                                       std::make_shared<NavigationPolicyService>(domains, true), unread, sync,
                                       CoordinatorContext{scheduler, domains, sessions, pending});
        view = env.makeWebView(env.engine->dataStore(profileId.text()));
        view->setCustomUserAgent("Mozilla/5.0 (X11; Linux x86_64) OrviWrapperTest");
        sessions.recordOwner(view, profileId);
        coordinator->attach(view, placement);
        view->setNavigationDelegate(coordinator.get());
    }
    ~PageFixture() { coordinator->detach(view); }

    std::shared_ptr<PageLoader> startLoader() {
        auto loader = PageLoader::create(view, profileId, location, sync, placement,
                                         PageLoadContext{scheduler, preferences, domains, vpn, sessions}, {});
        loader->start();
        return loader;
    }
    engine::Cookie cookie(const std::string& name, const std::string& value) const {
        return engine::Cookie{name,
                              value,
                              env.service->endpoints().webHost,
                              "/",
                              false,
                              false,
                              static_cast<double>(std::time(nullptr) + 86400),
                              std::nullopt};
    }
    std::vector<RecordedRequest> pageRequests() const {
        return env.service->requestsTo(env.service->endpoints().webHost, "/");
    }

    LogCapture log;
    WebKitTestEnvironment env;
    platform::GLibScheduler scheduler;
    OrviDomains domains = OrviDomains::defaults();
    MemoryPreferencesStore preferences;
    WebViewSessions sessions;
    std::shared_ptr<orvi::test::RecordingFileSaving> saving =
        std::make_shared<orvi::test::RecordingFileSaving>();
    PageDownloads pending{saving,
                          {std::filesystem::temp_directory_path(), std::filesystem::temp_directory_path()}};
    FakeVPNDetection vpn{scheduler};
    std::shared_ptr<FakePlacement> placement = std::make_shared<FakePlacement>();
    std::shared_ptr<UnreadDetectionService> unread = UnreadDetectionService::create();
    std::shared_ptr<CookieJarSync> cookies;
    SessionSync sync;
    ProfileId profileId = ProfileId::generate();
    LocationSettings location{"Europe/Vienna", "de_at", "Вена", std::nullopt, std::nullopt};
    std::shared_ptr<OrviWebCoordinator> coordinator;
    std::shared_ptr<engine::WebView> view;
    // Loads the echo page with the unread script watching it; every count lands in `counts`.
    [[nodiscard]] Connection watchUnreadOnEcho(std::vector<int>& counts) {
        auto subscription = unread->subscribeUnreadCount([&counts, id = profileId](const UnreadEvent& e) {
            if (e.profileId == id)
                counts.push_back(e.count);
        });
        unread->attach(view, profileId);
        view->load(engine::Request{env.service->webURL("/echo")});
        return subscription;
    }
};

} // namespace

TEST(PageSupervision, TheFirstRequestCarriesAThousandRestoredCookiesAndTheTenHeadersInOrder) {
    PageFixture f;
    // The saved session comes from another store, as after a restart with a wiped folder.
    auto other = f.env.engine->dataStore(ProfileId::generate().text());
    constexpr int kCount = 1000;
    for (int i = 0; i < kCount; ++i) {
        auto cookie = f.cookie("c" + std::to_string(i), "v" + std::to_string(i));
        // The session cookie is the last one restored, and the page can never read it.
        cookie.isHTTPOnly = i == kCount - 1;
        setCookie(*other, cookie);
    }
    setCookie(*other, f.cookie("orvi_user", "alice"));
    bool saved = false;
    f.cookies->saveCookies(f.profileId, other, [&] { saved = true; });
    ASSERT_TRUE(runMainLoopUntil([&] { return saved; }));

    auto loader = f.startLoader();
    ASSERT_TRUE(runMainLoopUntil([&] { return !f.pageRequests().empty(); }));
    const auto first = f.pageRequests().front();
    EXPECT_EQ(first.cookie("orvi_user"), "alice");
    EXPECT_EQ(first.cookies.size(), static_cast<std::size_t>(kCount + 1));
    EXPECT_EQ(first.cookie("c0"), "v0");
    EXPECT_EQ(first.cookie("c" + std::to_string(kCount - 1)), "v" + std::to_string(kCount - 1));

    const engine::Headers expected = {
        {"User-Agent", "Mozilla/5.0 (X11; Linux x86_64) OrviWrapperTest"},
        {"Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"},
        {"Accept-Encoding", "gzip, deflate, br"},
        {"Accept-Language", "de-AT,de;q=0.9,en-US;q=0.8,en;q=0.7"},
        {"Upgrade-Insecure-Requests", "1"},
        {"Sec-Fetch-Site", "same-origin"},
        {"Sec-Fetch-Mode", "navigate"},
        {"Sec-Fetch-Dest", "document"},
        {"Sec-Fetch-User", "?1"},
        {"X-Timezone", "Europe/Vienna"},
    };
    const auto names = first.headerNames();
    std::string sent;
    for (const auto& n : names)
        sent += n + "; ";
    SCOPED_TRACE("sent: " + sent);
    std::ptrdiff_t previous = -1;
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(first.header(name), value) << name;
        // The network process writes the User-Agent line itself, after the others it
        // was given; its value is still ours.
        if (name == "User-Agent")
            continue;
        auto at = std::find_if(names.begin(), names.end(), [&](const std::string& n) {
            return std::equal(n.begin(), n.end(), name.begin(), name.end(),
                              [](char a, char b) { return std::tolower(a) == std::tolower(b); });
        });
        ASSERT_NE(at, names.end()) << name;
        EXPECT_GT(at - names.begin(), previous) << name << " keeps its place";
        previous = at - names.begin();
    }
}

TEST(PageSupervision, TheUnreadScriptReportsTitleAndMarkedCountersOncePerBurst) {
    PageFixture f;
    std::vector<int> counts;
    auto subscription = f.watchUnreadOnEcho(counts);
    ASSERT_TRUE(runMainLoopUntil([&] { return !counts.empty(); }));
    EXPECT_EQ(counts, std::vector<int>{0});

    ASSERT_TRUE(evaluate(*f.view, "document.title = 'Чаты（12）'; 1").ok());
    ASSERT_TRUE(runMainLoopUntil([&] { return counts.size() == 2; }));
    EXPECT_EQ(counts.back(), 12);

    ASSERT_TRUE(evaluate(*f.view, R"JS(
        document.title = 'ORVI';
        document.body.innerHTML =
            '<ul><li data-chat-id="1"><span data-unread-count="2"></span><span data-unread-count="5"></span></li>' +
            '<li><span aria-label="4 unread messages"></span></li>' +
            '<li><span data-unread-count="9" style="display:none"></span></li></ul>' +
            '<span class="badge">77</span>';
        1)JS")
                    .ok());
    ASSERT_TRUE(runMainLoopUntil([&] { return counts.size() == 3; }));
    EXPECT_EQ(counts.back(), 6);

    // A burst of a hundred changes gives one report with the final count.
    ASSERT_TRUE(evaluate(*f.view, R"JS(
        const counter = document.querySelector('[data-unread-count="2"]');
        for (let i = 1; i <= 100; i++) counter.setAttribute('data-unread-count', String(i));
        1)JS")
                    .ok());
    ASSERT_TRUE(runMainLoopUntil([&] { return counts.size() == 4; }));
    runMainLoopFor(500ms);
    EXPECT_EQ(counts, (std::vector<int>{0, 12, 6, 104}));
}

TEST(PageSupervision, ALoginHasItsCookiesSavedWithinThreeSecondsAndAKilledProcessReloadsAfterASecond) {
    PageFixture f;
    setCookie(f.view->dataStore(), f.cookie("orvi_user", "bob"));
    auto loader = f.startLoader();
    ASSERT_TRUE(
        runMainLoopUntil([&] { return f.log.contains("💾 User logged in - saving cookies and storage..."); }));
    const auto loggedInAt = Clock::now();
    ASSERT_TRUE(runMainLoopUntil([&] { return f.preferences.contains(keys::cookies(f.profileId)); }, 5s));
    EXPECT_LE(std::chrono::duration<double>(Clock::now() - loggedInAt).count(), 3.2);
    const auto saved = f.preferences.data(keys::cookies(f.profileId));
    ASSERT_TRUE(saved);
    EXPECT_NE(saved->find("bob"), std::string::npos);
    ASSERT_TRUE(runMainLoopUntil([&] { return f.preferences.contains(keys::storage(f.profileId)); }, 5s));
    EXPECT_NE(f.preferences.data(keys::storage(f.profileId))->find("token-bob"), std::string::npos);

    // After a crash WebKit may no longer report the URL; the page then comes back as the
    // service origin. Either way the page is requested again.
    const auto before = f.pageRequests().size();
    const auto killedAt = Clock::now();
    engine::webkit::WebKitEngine::terminateWebProcess(*f.view);
    ASSERT_TRUE(runMainLoopUntil([&] { return f.pageRequests().size() > before; }));
    const auto after = std::chrono::duration<double>(Clock::now() - killedAt).count();
    EXPECT_GE(after, 0.9);
    EXPECT_LT(after, 5.0);
}

// The script reads again only what the page changed; each step changes the page the way a
// chat list does and must give what a full read of the page would.
TEST(PageSupervision, TheUnreadCountFollowsEveryKindOfChangeToThePage) {
    PageFixture f;
    std::vector<int> counts;
    auto subscription = f.watchUnreadOnEcho(counts);
    ASSERT_TRUE(runMainLoopUntil([&] { return !counts.empty(); }));
    const std::vector<std::pair<const char*, int>> steps = {
        {R"(document.body.innerHTML = '<style>.muted span{display:none}</style><ul>' +
              '<li id="a" data-chat-id="a"><span data-unread-count="3"></span></li>' +
              '<li id="b"><span id="cb" data-testid="unread-count"><b>2</b></span></li></ul>')",
         5},
        {"document.getElementById('a').classList.add('muted')", 2},
        {"document.querySelector('#cb b').firstChild.data = '7'", 7},
        {"document.getElementById('a').classList.remove('muted'); document.getElementById('b').remove()", 3},
        {"document.getElementById('a').insertAdjacentHTML('afterbegin', '<span "
         "data-unread-count=\"8\"></span>')",
         8},
        {"document.head.insertAdjacentHTML('beforeend', "
         "'<style>[data-unread-count=\"8\"]{visibility:hidden}</style>')",
         3},
        {"document.body.insertAdjacentHTML('beforeend', '<div aria-label=\"9 unread\"></div>')", 9},
        {"document.querySelector('[aria-label=\"9 unread\"]').setAttribute('aria-hidden', 'true')", 3},
        // While the title carries the count the counters are not watched; what changed
        // meanwhile is read once the title stops carrying it.
        {"document.title = '(4) ORVI'", 4},
        {"document.querySelector('[aria-label=\"9 unread\"]').removeAttribute('aria-hidden'); "
         "setTimeout(() => { document.title = 'ORVI'; }, 400)",
         9},
    };
    for (const auto& [script, expected] : steps) {
        const auto before = counts.size();
        ASSERT_TRUE(evaluate(*f.view, std::string(script) + "; 1").ok()) << script;
        ASSERT_TRUE(runMainLoopUntil([&] { return counts.size() > before; })) << script;
        EXPECT_EQ(counts.back(), expected) << script;
    }
}
