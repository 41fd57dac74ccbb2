#include "core/page/OrviWebCoordinator.h"
#include "core/page/PageDownloads.h"
#include "core/page/PageLoader.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewSessions.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieJarSync.h"
#include "core/session/StorageSnapshotSync.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "fakes/LogCapture.h"
#include "fakes/RecordingFileSaving.h"
#include "integration/WebKitTestSupport.h"
#include "service/DownloadPages.h"
#include "support/NamedProfile.h"
#include "support/PageFakes.h"

#include <gtest/gtest.h>
#include <webkit/webkit.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

const std::string kUserAgent = "Mozilla/5.0 (X11; Linux x86_64) OrviWrapperTest";

// One profile's web view against the imitation service, supervised by a real coordinator
// with the real session sync behind it, and loaded by the real page loader when asked.
struct PageFixture : WebFixture {
    explicit PageFixture(bool mockCapture = false) {
        cookies = std::make_shared<CookieJarSync>(preferences, scheduler);
        sync = SessionSync{cookies, std::make_shared<StorageSnapshotSync>(preferences, scheduler, domains)};
        coordinator = OrviWebCoordinator::create(
            namedProfile(profileId, "Основной"), std::make_shared<NavigationPolicyService>(domains, true),
            unread, sync,
            CoordinatorContext{scheduler, domains, sessions, downloads, [] { return true; },
                               [this] { ++callsUnavailable; }});
        engine::WebViewConfiguration configuration;
        configuration.dataStore = env.engine->dataStore(profileId.text());
        configuration.mockCaptureDevicesEnabled = mockCapture;
        view = env.engine->makeWebView(configuration);
        view->setCustomUserAgent(kUserAgent);
        sessions.recordOwner(view, profileId);
        coordinator->attach(view, placement);
        view->setNavigationDelegate(coordinator.get());
        if (mockCapture) {
            // WebKit asks for capture only for a page that is on screen.
            window = gtk_window_new();
            gtk_window_set_child(GTK_WINDOW(window), engine::webkit::WebKitEngine::widget(*view));
            gtk_window_present(GTK_WINDOW(window));
        }
    }
    ~PageFixture() {
        coordinator->detach(view);
        if (window)
            gtk_window_destroy(GTK_WINDOW(window));
        if (::testing::Test::HasFailure())
            for (const auto& line : log.lines())
                std::fprintf(stderr, "  log: %s\n", line.c_str());
    }

    std::shared_ptr<PageLoader> startLoader() {
        auto loader = PageLoader::create(view, profileId, location, sync, placement,
                                         PageLoadContext{scheduler, preferences, domains, vpn, sessions}, {});
        loader->start();
        return loader;
    }
    engine::Cookie cookie(const std::string& name, const std::string& value, std::string domain = {}) const {
        return {name,
                value,
                domain.empty() ? env.service->endpoints().webHost : domain,
                "/",
                false,
                false,
                static_cast<double>(std::time(nullptr) + 86400)};
    }
    std::vector<RecordedRequest> pageRequests() const {
        return env.service->requestsTo(env.service->endpoints().webHost, "/");
    }
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

    // A session cookie that only the network session can send (HttpOnly, for the whole domain).
    void giveSessionCookie() {
        auto session = cookie("orvi_session", "secret-42", "." + env.service->endpoints().serviceDomain);
        session.isHTTPOnly = true;
        setCookie(view->dataStore(), session);
    }
    void open(const std::string& path) {
        view->load(engine::Request{env.service->webURL(path)});
        ASSERT_TRUE(runMainLoopUntil(
            [&] { return !view->isLoading() && view->url().find(path) != std::string::npos; }));
    }
    std::filesystem::path staged(const std::string& name) const { return downloads.stagingFolder() / name; }
    bool waitForStaged(const std::string& name) {
        return runMainLoopUntil([&] { return std::filesystem::exists(staged(name)); }, 10s);
    }
    void expectCarriedSession(const std::string& host, const std::string& path) {
        const auto requests = env.service->requestsTo(host, path);
        ASSERT_FALSE(requests.empty()) << path;
        EXPECT_EQ(requests.back().cookie("orvi_session"), "secret-42") << path;
        EXPECT_EQ(requests.back().header("User-Agent"), kUserAgent) << path;
    }

    LogCapture log;
    WebViewSessions sessions;
    std::shared_ptr<RecordingFileSaving> saving = std::make_shared<RecordingFileSaving>();
    PageDownloads downloads{saving, {env.root, env.root / "Downloads"}};
    FakeVPNDetection vpn{scheduler};
    std::shared_ptr<FakePlacement> placement = std::make_shared<FakePlacement>();
    std::shared_ptr<UnreadDetectionService> unread = UnreadDetectionService::create();
    std::shared_ptr<CookieJarSync> cookies;
    SessionSync sync;
    ProfileId profileId = ProfileId::generate();
    LocationSettings location{"Europe/Vienna", "de_at", "Вена", std::nullopt, std::nullopt};
    int callsUnavailable = 0;
    std::shared_ptr<OrviWebCoordinator> coordinator;
    std::shared_ptr<engine::WebView> view;
    GtkWidget* window = nullptr;
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
        {"User-Agent", kUserAgent},
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
    for (const auto& [name, value] : expected)
        EXPECT_EQ(first.header(name), value) << name;
    // libsoup sends the names it knows first and its connection headers next, then the rest
    // in the order given; nothing goes out twice.
    EXPECT_EQ(
        first.headerNames(),
        (std::vector<std::string>{"Accept", "Accept-Encoding", "Accept-Language", "Upgrade-Insecure-Requests",
                                  "User-Agent", "Connection", "Host", "Cookie", "Sec-Fetch-Site",
                                  "Sec-Fetch-Mode", "Sec-Fetch-Dest", "Sec-Fetch-User", "X-Timezone"}));
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
// chat list does and must give, in one report, what a full read of the page would.
TEST(PageSupervision, TheUnreadCountFollowsTitleMarkedCountersAndEveryKindOfChangeOncePerBurst) {
    PageFixture f;
    std::vector<int> counts;
    auto subscription = f.watchUnreadOnEcho(counts);
    ASSERT_TRUE(runMainLoopUntil([&] { return !counts.empty(); }));
    EXPECT_EQ(counts, std::vector<int>{0});
    const std::vector<std::pair<const char*, int>> steps = {
        {"document.title = 'Чаты（12）'", 12},
        {R"(document.title = 'ORVI';
            document.body.innerHTML =
              '<ul><li data-chat-id="1"><span data-unread-count="2"></span><span data-unread-count="5"></span></li>' +
              '<li><span aria-label="4 unread messages"></span></li>' +
              '<li><span data-unread-count="9" style="display:none"></span></li></ul>' +
              '<span class="badge">77</span>')",
         6},
        // A burst of a hundred changes gives one report with the final count.
        {R"(const counter = document.querySelector('[data-unread-count="2"]');
            for (let i = 1; i <= 100; i++) counter.setAttribute('data-unread-count', String(i)))",
         104},
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
    runMainLoopFor(500ms);
    EXPECT_EQ(counts.size(), steps.size() + 1) << "one report per step";
}

TEST(MediaAndDownloads, EveryRoadEndsWithTheFileStagedUnderItsNameFetchedWithTheSession) {
    PageFixture f;
    f.giveSessionCookie();
    const auto& e = f.env.service->endpoints();
    const auto go = [&](const std::string& path) {
        ASSERT_TRUE(evaluate(*f.view, "location.href = '" + path + "'; 1").ok()) << path;
    };

    // The page's own script, inside a frame: the card's title names the file.
    f.open("/media/chat");
    const std::string button =
        "document.getElementById('card-frame').contentDocument.getElementById('download')";
    ASSERT_TRUE(runMainLoopUntil([&] { return evaluate(*f.view, "!!" + button).ok(); }));
    ASSERT_TRUE(evaluate(*f.view, button + ".click(); 1").ok());
    ASSERT_TRUE(f.waitForStaged("Договор поставки.pdf"));
    EXPECT_EQ(readFile(f.staged("Договор поставки.pdf")), pages::mediaFileBody("/files/x7k2m9.pdf"));
    f.expectCarriedSession(e.fileHost, "/files/x7k2m9.pdf");
    EXPECT_EQ(f.view->url(), f.env.service->webURL("/media/chat")) << "the click never left the page";

    // The navigation rules: an attachment link, named in the UTF-8 form.
    go("/media/attachment/42");
    ASSERT_TRUE(f.waitForStaged("Квитанция.txt"));
    EXPECT_EQ(readFile(f.staged("Квитанция.txt")), pages::mediaFileBody("/media/attachment/42"));
    f.expectCarriedSession(e.webHost, "/media/attachment/42");

    // A file answered to the main frame, twice: the second waits beside the first.
    go("/media/statement");
    ASSERT_TRUE(f.waitForStaged("statement.pdf"));
    go("/media/statement");
    ASSERT_TRUE(f.waitForStaged("statement_1.pdf"));
    EXPECT_EQ(readFile(f.staged("statement.pdf")), pages::mediaFileBody("/media/statement"));
    f.expectCarriedSession(e.webHost, "/media/statement");

    // A missing file is a failure, never a save dialog.
    go("/media/missing");
    ASSERT_TRUE(runMainLoopUntil([&] { return f.log.containsSubstring("HTTP status 404"); }));
    runMainLoopFor(300ms);
    EXPECT_EQ(f.saving->requests.size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(f.staged("gone.pdf")));
}

TEST(MediaAndDownloads, TheMicrophoneIsDeniedWithoutACallGestureAndGrantedAfterAClickOnACallButton) {
    // Capture needs a secure context; the imitation service speaks plain HTTP. The
    // registration holds for the whole process, which ctest gives to this test alone.
    webkit_security_manager_register_uri_scheme_as_secure(
        webkit_web_context_get_security_manager(webkit_web_context_get_default()), "http");
    PageFixture f(true);
    f.open("/media/call");
    auto ask = [&] { return callAsync(*f.view, "return await window.askMicrophone();", Json::object()); };

    auto first = ask();
    ASSERT_TRUE(first.ok()) << first.error().message;
    EXPECT_EQ(first.value(), "denied:NotAllowedError");

    ASSERT_TRUE(evaluate(*f.view, "document.getElementById('other').click(); 1").ok());
    runMainLoopFor(200ms);
    EXPECT_EQ(ask().value(), "denied:NotAllowedError")
        << "a click on an unrelated control is no call gesture";

    ASSERT_TRUE(evaluate(*f.view, "const b = document.getElementById('call'); b.click(); b.click(); 1").ok());
    const std::string gesture = "🎙️ Media capture authorized by explicit user gesture";
    ASSERT_TRUE(runMainLoopUntil([&] { return f.log.contains(gesture); }));
    EXPECT_EQ(ask().value(), "granted");
    runMainLoopFor(300ms);
    EXPECT_EQ(f.log.count(gesture), 1u) << "two clicks within 500 ms are one gesture";

    const bool hasPeerConnections =
        evaluate(*f.view, "typeof RTCPeerConnection === 'function'").value() == true;
    EXPECT_EQ(f.callsUnavailable > 0, !hasPeerConnections);
}
