#pragma once

#include "core/base/Json.h"
#include "core/base/Scheduler.h"
#include "core/base/Signal.h"
#include "core/page/CallState.h"
#include "core/page/CrashReloadBackoff.h"
#include "core/page/PageMessageGate.h"
#include "core/page/PageTrouble.h"
#include "core/page/SessionSaveSchedule.h"
#include "core/page/UnreadDetectionServiceProtocol.h"
#include "core/page/WebViewPlacement.h"
#include "core/profiles/Profile.h"
#include "core/session/SessionSync.h"
#include "core/web/policy/NavigationDecider.h"
#include "core/web/policy/OrviDomains.h"
#include "engine/WebView.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvi {

class PageDownloads;
class WebViewSessions;

// What every coordinator shares with the rest of the application.
struct CoordinatorContext {
    Scheduler& scheduler;
    OrviDomains domains;
    WebViewSessions& sessions;
    PageDownloads& downloads;
    // Whether the user allows the camera and microphone at all; absent means not.
    std::function<bool()> mediaPermissionsEnabled = {};
    // Told whenever a page finds its engine without calls; the listener says it once.
    std::function<void()> onCallsUnavailable = {};
    // Subscribes to the network coming back after it was gone; absent means never told.
    std::function<Connection(std::function<void()>)> subscribeToNetworkBack = {};
};

// Supervises the page of one profile: it is the attached web view's navigation and UI
// delegate and script-message handler, saves the session when it changes, after a login and
// periodically, and reloads a page whose content process crashed. Main thread only.
class OrviWebCoordinator final : public engine::NavigationDelegate,
                                 public engine::UIDelegate,
                                 public std::enable_shared_from_this<OrviWebCoordinator> {
public:
    // A new page shows no counters until its chat list arrives, which can take seconds: until
    // its first non-zero count, or this long after it committed, a count tells what the account
    // already had rather than news (a page rebuilt after hibernation included).
    static constexpr Duration kDocumentSettleTime = std::chrono::seconds(10);

    static std::shared_ptr<OrviWebCoordinator>
    create(Profile profile, std::shared_ptr<NavigationPolicyServiceProtocol> navigationPolicyService,
           std::shared_ptr<UnreadDetectionServiceProtocol> unreadDetectionService, SessionSync sessionSync,
           CoordinatorContext context);
    ~OrviWebCoordinator() override;

    const Profile& profile() const { return m_profile; }
    std::shared_ptr<engine::WebView> currentWebView() const { return m_currentWebView.lock(); }
    bool hasActiveCall() const { return m_callState.hasActiveCall(); }

    // The placement tells whether the web view sits in a window (a crash is only answered
    // with a reload there).
    void attach(const std::shared_ptr<engine::WebView>& webView,
                std::shared_ptr<const WebViewPlacement> placement = nullptr);
    // Without saveFirst the session is left as the last save put it (a deleted profile's
    // page must not write again).
    void detach(const std::shared_ptr<engine::WebView>& webView, bool saveFirst = true);
    // Keeps watching a page that left the screen: counts, saves and crash reloads go on, but
    // nothing about it reaches the window.
    void superviseInBackground(const std::shared_ptr<engine::WebView>& webView);
    bool isInBackground() const { return m_inBackground; }
    // The count the page last reported under another supervisor, so that the hand-over does
    // not report it a second time.
    void adoptUnreadCount(std::optional<int> count) { m_lastUnreadCount = count; }
    // A page handed over while its new document still settles keeps taking its counts as
    // the baseline under the next supervisor.
    std::optional<Clock::time_point> documentSettlesAt() const { return m_documentSettlesAt; }
    void adoptDocumentSettling(std::optional<Clock::time_point> settlesAt) {
        m_documentSettlesAt = settlesAt;
    }

    std::function<void(int)> onUnreadCountChanged;
    // The counts of a new document (a login, a reload) until its first counters or a few
    // seconds: what the account already had, never news. A client draws its frame with no
    // counters before its chat list arrives, so its first report alone is no baseline.
    // Without a listener they go to onUnreadCountChanged.
    std::function<void(int)> onUnreadBaseline;
    std::function<void(bool)> onLoadingChanged;
    std::function<void(bool)> onCallStateChanged;
    std::function<void()> onMediaCaptureRequested;
    // The page failed to load or kept crashing (a state), or is shown again (none).
    std::function<void(const std::optional<PageTroubleState>&)> onTroubleChanged;

    const std::optional<PageTroubleState>& trouble() const { return m_trouble.state(); }
    // The user asked to try the troubled page again.
    void retryAfterTrouble() { m_trouble.retryNow(); }

    // NavigationDelegate
    void
    decidePolicyForNavigationAction(engine::WebView& webView, const engine::NavigationAction& action,
                                    std::function<void(engine::PolicyDecision)> decisionHandler) override;
    void
    decidePolicyForNavigationResponse(engine::WebView& webView, const engine::NavigationResponse& response,
                                      std::function<void(engine::PolicyDecision)> decisionHandler) override;
    void didStartProvisionalNavigation(engine::WebView& webView) override;
    void didCommitNavigation(engine::WebView& webView) override;
    void didFinishNavigation(engine::WebView& webView) override;
    void didFailProvisionalNavigation(engine::WebView& webView, const Error& error) override;
    void didFailNavigation(engine::WebView& webView, const Error& error) override;
    void webContentProcessDidTerminate(engine::WebView& webView,
                                       engine::ProcessTerminationReason reason) override;
    void navigationDidBecomeDownload(engine::WebView& webView,
                                     const std::shared_ptr<engine::Download>& download) override;

    // UIDelegate
    void runJavaScriptAlert(engine::WebView& webView, const std::string& message,
                            std::function<void()> completion) override;
    void runJavaScriptConfirm(engine::WebView& webView, const std::string& message,
                              std::function<void(bool)> completion) override;
    void
    requestMediaCapturePermission(engine::WebView& webView, const std::string& origin,
                                  engine::MediaCaptureType type,
                                  std::function<void(engine::PermissionDecision)> decisionHandler) override;

    void didReceiveScriptMessage(const std::string& handlerName, const Json& body);

    // The text of the console bridge injected into every page.
    static std::string consoleInterceptScript();

private:
    OrviWebCoordinator(Profile profile,
                       std::shared_ptr<NavigationPolicyServiceProtocol> navigationPolicyService,
                       std::shared_ptr<UnreadDetectionServiceProtocol> unreadDetectionService,
                       SessionSync sessionSync, CoordinatorContext context);

    void setupUnreadDetection();
    void setupCallState();
    void setupTrouble();
    void retryTroubledPage();
    void loadFailed(engine::WebView& webView, const Error& error);
    void installMediaScripts(const std::shared_ptr<engine::WebView>& webView);
    bool isCurrent(const engine::WebView& webView) const;
    // The profile whose saved session this web view carries; saves never go anywhere else.
    ProfileId sessionOwner(const engine::WebView& webView) const;
    bool canSaveFrom(const engine::WebView& webView) const;
    void saveCookies(const std::shared_ptr<engine::WebView>& webView);
    void saveCookiesAndStorage(const std::shared_ptr<engine::WebView>& webView,
                               std::function<void()> storageDone);
    void watchCookieChanges(const std::shared_ptr<engine::WebView>& webView);
    // Reads the cookies and saves them when they changed; a page's finish also (re)starts
    // the periodic save.
    void checkCookies(const std::shared_ptr<engine::WebView>& webView, bool afterFinish);
    void compareCookies(const std::vector<engine::Cookie>& cookies,
                        const std::shared_ptr<engine::WebView>& webView, bool afterFinish);
    void forgetEndedSession(const std::shared_ptr<engine::WebView>& webView);
    void startPeriodicSaving(const std::shared_ptr<engine::WebView>& webView);
    void saveCurrentCookiesAndStorage();
    void reloadAfterCrash(const std::shared_ptr<engine::WebView>& webView);
    void loadServiceOrigin(engine::WebView& webView);
    std::shared_ptr<engine::WebView> strongView(engine::WebView& webView) const;
    void handleDownloadLink(const Json& body);
    void handleLogMessage(const Json& body);

    const Profile m_profile;
    std::shared_ptr<NavigationPolicyServiceProtocol> m_navigationPolicyService;
    std::shared_ptr<UnreadDetectionServiceProtocol> m_unreadDetectionService;
    SessionSync m_sessionSync;
    CoordinatorContext m_context;
    NavigationDecider m_decider;

    Connection m_unreadSubscription;
    std::optional<int> m_lastUnreadCount;
    std::optional<Clock::time_point> m_documentSettlesAt;
    bool m_inBackground = false;
    std::weak_ptr<engine::WebView> m_currentWebView;
    std::shared_ptr<const WebViewPlacement> m_placement;

    SessionSaveSchedule m_saveSchedule;
    Connection m_cookieChanges;
    CrashReloadBackoff m_crashBackoff;
    CallState m_callState;
    PageMessageGate m_messageGate;
    PageTrouble m_trouble;
    // A main-frame answer that is an error page of the server, until its load ends.
    std::optional<PageTroubleState> m_errorResponse;
    Connection m_networkBack;
};

} // namespace orvi
