#pragma once

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

#include <algorithm>
#include <gtest/gtest.h>

namespace orvi::test {

inline const std::string kCoordinatedPage = "https://web.orvi.example/";
inline const std::string kCapturingOrigin = "https://web.orvi.ru";

// A coordinator supervising a live web view of one profile, with every collaborator a fake
// the test can drive: the clock, the session sync, the window, the network coming back.
struct CoordinatorFixture {
    explicit CoordinatorFixture(StorageType storage = StorageType::persistentMain)
        : profile(makeProfile("Работа", storage)) {
        coordinator = OrviWebCoordinator::create(
            profile, std::make_shared<NavigationPolicyService>(OrviDomains::defaults(), true), unread,
            cookies->sync(),
            CoordinatorContext{
                scheduler, OrviDomains::defaults(), sessions, pending, [this] { return mediaAllowed; },
                [this] { ++callsUnavailable; },
                [this](std::function<void()> slot) { return networkBack.connect([slot] { slot(); }); }});
        coordinator->onTroubleChanged = [this](const auto& state) { shown.push_back(state); };
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
    // Advances the clock, then tells how often this profile's session part was saved so far.
    std::size_t savesAfter(Duration by, const std::string& kind = "saveCookies") {
        scheduler.advance(by);
        return cookies->count(kind + " " + profile.id.text());
    }

    engine::PermissionDecision askForCapture(const std::string& origin) {
        std::optional<engine::PermissionDecision> decision;
        coordinator->requestMediaCapturePermission(*webView, origin, engine::MediaCaptureType::microphone,
                                                   [&](engine::PermissionDecision d) { decision = d; });
        EXPECT_TRUE(decision.has_value());
        return decision.value_or(engine::PermissionDecision::prompt);
    }

    std::size_t originLoads() const {
        return std::count_if(webView->loads.begin(), webView->loads.end(), [](const engine::Request& r) {
            return r.url == OrviDomains::defaults().serviceOrigin();
        });
    }
    void fail(int code = engine::kURLErrorCannotConnectToHost) {
        webView->failProvisionalNavigation({engine::kURLErrorDomain, code, ""});
    }
    void serverAnswers(int status) {
        webView->startProvisionalNavigation();
        webView->decideResponse({.url = kCoordinatedPage, .statusCode = status, .mimeType = "text/html"});
        webView->finishNavigation(kCoordinatedPage);
    }
    std::optional<PageFailure> failure() const {
        const auto& state = coordinator->trouble();
        return state ? std::optional(state->failure) : std::nullopt;
    }

    bool mediaAllowed = true;
    int callsUnavailable = 0;
    LogCapture log;
    ManualScheduler scheduler;
    FakeEngine engine;
    MemoryPreferencesStore preferences;
    WebViewSessions sessions;
    PageDownloads pending{std::make_shared<RecordingFileSaving>(),
                          {std::filesystem::temp_directory_path(), std::filesystem::temp_directory_path()}};
    std::shared_ptr<FakeSessionSync> cookies = std::make_shared<FakeSessionSync>(preferences);
    std::shared_ptr<UnreadDetectionService> unread = UnreadDetectionService::create();
    std::shared_ptr<FakePlacement> placement = std::make_shared<FakePlacement>();
    Signal<> networkBack;
    Profile profile;
    std::shared_ptr<OrviWebCoordinator> coordinator;
    std::shared_ptr<FakeWebView> webView;
    std::vector<std::optional<PageTroubleState>> shown;
};

} // namespace orvi::test
