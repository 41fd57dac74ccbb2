#include "core/page/OrviWebCoordinator.h"
#include "core/page/PageDownloads.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewSessions.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "fakes/LogCapture.h"
#include "fakes/RecordingFileSaving.h"
#include "integration/WebKitTestSupport.h"
#include "platform/linux/GLibScheduler.h"
#include "service/DownloadPages.h"
#include "support/PageFakes.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <webkit/webkit.h>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

// A real coordinator supervising a real web view against the imitation service, with a
// session cookie that only the network session can send (HttpOnly, for the whole domain).
struct MediaFixture {
    explicit MediaFixture(bool mockCapture = false) {
        domains = OrviDomains::fromFile(env.service->writeEndpointsFile(env.root).string()).value();
        coordinator = OrviWebCoordinator::create(
            Profile{profileId, "Основной", false, StorageType::persistentMain, false,
                    LocationSettings::defaultLocation(), true, true},
            std::make_shared<NavigationPolicyService>(domains, true), unread, SessionSync{},
            CoordinatorContext{scheduler, domains, sessions, downloads, [] { return true; },
                               [this] { ++callsUnavailable; }});
        engine::WebViewConfiguration configuration;
        configuration.dataStore = env.engine->dataStore(profileId.text());
        configuration.mockCaptureDevicesEnabled = mockCapture;
        view = env.engine->makeWebView(configuration);
        view->setCustomUserAgent("Mozilla/5.0 (X11; Linux x86_64) OrviMediaTest");
        setCookie(view->dataStore(),
                  engine::Cookie{"orvi_session", "secret-42", "." + env.service->endpoints().serviceDomain,
                                 "/", false, true, static_cast<double>(std::time(nullptr) + 3600),
                                 std::nullopt});
        coordinator->attach(view, placement);
        view->setNavigationDelegate(coordinator.get());
        if (mockCapture) {
            // WebKit asks for capture only for a page that is on screen.
            window = gtk_window_new();
            gtk_window_set_child(GTK_WINDOW(window), engine::webkit::WebKitEngine::widget(*view));
            gtk_window_present(GTK_WINDOW(window));
        }
    }
    ~MediaFixture() {
        coordinator->detach(view);
        if (window)
            gtk_window_destroy(GTK_WINDOW(window));
        if (::testing::Test::HasFailure())
            for (const auto& line : log.lines())
                std::fprintf(stderr, "  log: %s\n", line.c_str());
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
        EXPECT_EQ(requests.back().header("User-Agent"), "Mozilla/5.0 (X11; Linux x86_64) OrviMediaTest")
            << path;
    }

    LogCapture log;
    WebKitTestEnvironment env;
    platform::GLibScheduler scheduler;
    OrviDomains domains = OrviDomains::defaults();
    WebViewSessions sessions;
    std::shared_ptr<RecordingFileSaving> saving = std::make_shared<RecordingFileSaving>();
    PageDownloads downloads{saving, {env.root, env.root / "Downloads"}};
    std::shared_ptr<FakePlacement> placement = std::make_shared<FakePlacement>();
    std::shared_ptr<UnreadDetectionService> unread = UnreadDetectionService::create();
    ProfileId profileId = ProfileId::generate();
    int callsUnavailable = 0;
    std::shared_ptr<OrviWebCoordinator> coordinator;
    std::shared_ptr<engine::WebView> view;
    GtkWidget* window = nullptr;
};

} // namespace

TEST(MediaAndDownloads, EveryRoadEndsWithTheFileStagedUnderItsNameFetchedWithTheSession) {
    MediaFixture f;
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
    MediaFixture f(true);
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
