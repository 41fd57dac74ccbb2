#include "core/page/OrviWebCoordinator.h"

#include "core/base/Log.h"
#include "core/page/PageDownloads.h"
#include "core/page/WebViewSessions.h"
#include "core/web/policy/Url.h"
#include "core/web/scripts/EmbeddedScripts.h"
#include "core/web/scripts/OrviUserScripts.h"

namespace orvi {

namespace {

constexpr const char* kLogHandler = "logHandler";
constexpr const char* kDownloadLinkHandler = "downloadLink";
constexpr const char* kCallStateHandler = "callStateHandler";
constexpr const char* kLoggedInMarker = "user logged in";
constexpr double kPlainRequestTimeout = 60.0;

// Page scripts post to these from the page's own world.
constexpr engine::World kHandlerWorld = engine::World::page;

std::string trimSlashes(const std::string& path) {
    const auto first = path.find_first_not_of('/');
    if (first == std::string::npos)
        return {};
    return path.substr(first, path.find_last_not_of('/') - first + 1);
}

} // namespace

std::shared_ptr<OrviWebCoordinator>
OrviWebCoordinator::create(Profile profile,
                           std::shared_ptr<NavigationPolicyServiceProtocol> navigationPolicyService,
                           std::shared_ptr<UnreadDetectionServiceProtocol> unreadDetectionService,
                           SessionSync sessionSync, CoordinatorContext context) {
    std::shared_ptr<OrviWebCoordinator> coordinator(new OrviWebCoordinator(
        std::move(profile), std::move(navigationPolicyService), std::move(unreadDetectionService),
        std::move(sessionSync), std::move(context)));
    coordinator->setupUnreadDetection();
    coordinator->setupCallState();
    coordinator->setupTrouble();
    return coordinator;
}

OrviWebCoordinator::OrviWebCoordinator(
    Profile profile, std::shared_ptr<NavigationPolicyServiceProtocol> navigationPolicyService,
    std::shared_ptr<UnreadDetectionServiceProtocol> unreadDetectionService, SessionSync sessionSync,
    CoordinatorContext context)
    : m_profile(std::move(profile)), m_navigationPolicyService(std::move(navigationPolicyService)),
      m_unreadDetectionService(std::move(unreadDetectionService)), m_sessionSync(std::move(sessionSync)),
      m_context(std::move(context)),
      m_decider(*m_navigationPolicyService, m_context.domains, m_context.downloads),
      m_saveSchedule(m_context.scheduler, m_profile.storageType), m_crashBackoff(m_context.scheduler),
      m_callState(m_context.scheduler), m_messageGate(m_context.scheduler, m_context.domains),
      m_trouble(m_context.scheduler) {}

OrviWebCoordinator::~OrviWebCoordinator() {
    // The web view holds its delegates without owning them; it must not call a dead one.
    if (auto webView = m_currentWebView.lock()) {
        webView->setNavigationDelegate(nullptr);
        webView->setUIDelegate(nullptr);
        for (const char* name : {kLogHandler, kDownloadLinkHandler, kCallStateHandler})
            webView->removeScriptMessageHandler(name);
    }
}

std::string OrviWebCoordinator::consoleInterceptScript() {
    return std::string(embeddedScript("ConsoleIntercept.js"));
}

void OrviWebCoordinator::setupCallState() {
    std::weak_ptr<OrviWebCoordinator> weakSelf = weak_from_this();
    m_callState.onCallStateChanged = [weakSelf](bool active) {
        if (auto self = weakSelf.lock(); self && self->onCallStateChanged)
            self->onCallStateChanged(active);
    };
    m_callState.onMediaCaptureRequested = [weakSelf] {
        if (auto self = weakSelf.lock(); self && self->onMediaCaptureRequested)
            self->onMediaCaptureRequested();
    };
    m_callState.onCallsUnavailable = [weakSelf] {
        if (auto self = weakSelf.lock(); self && self->m_context.onCallsUnavailable)
            self->m_context.onCallsUnavailable();
    };
}

void OrviWebCoordinator::setupTrouble() {
    std::weak_ptr<OrviWebCoordinator> weakSelf = weak_from_this();
    m_trouble.onRetry = [weakSelf] {
        if (auto self = weakSelf.lock())
            self->retryTroubledPage();
    };
    m_trouble.onChanged = [weakSelf](const std::optional<PageTroubleState>& state) {
        if (auto self = weakSelf.lock(); self && self->onTroubleChanged)
            self->onTroubleChanged(state);
    };
    if (m_context.subscribeToNetworkBack)
        m_networkBack = m_context.subscribeToNetworkBack([weakSelf] {
            if (auto self = weakSelf.lock())
                self->m_trouble.networkBack();
        });
}

void OrviWebCoordinator::retryTroubledPage() {
    auto webView = m_currentWebView.lock();
    if (!webView || (!m_inBackground && (!m_placement || !m_placement->hasWindow())))
        return;
    logLine("🔄 Retrying the page of profile " + sessionOwner(*webView).text());
    // A crashed page comes back where it was; a page that never loaded starts over.
    const bool crashed = trouble() && !trouble()->retriesOnItsOwn();
    if (crashed && !webView->url().empty())
        webView->reload();
    else
        loadServiceOrigin(*webView);
}

void OrviWebCoordinator::loadFailed(engine::WebView& webView, const Error& error) {
    m_errorResponse.reset();
    if (!isCurrent(webView))
        return;
    if (auto state = PageTroubleState::fromLoadError(error))
        m_trouble.failed(*state);
}

void OrviWebCoordinator::setupUnreadDetection() {
    std::weak_ptr<OrviWebCoordinator> weakSelf = weak_from_this();
    m_unreadSubscription =
        m_unreadDetectionService->subscribeUnreadCount([weakSelf](const UnreadEvent& event) {
            auto self = weakSelf.lock();
            if (!self || event.profileId != self->m_profile.id)
                return;
            const bool baseline =
                self->m_documentSettlesAt && self->m_context.scheduler.now() < *self->m_documentSettlesAt;
            if (self->m_lastUnreadCount == event.count)
                return;
            self->m_lastUnreadCount = event.count;
            // The first counters drawn end the settling: what rises after them is news.
            if (baseline && event.count > 0)
                self->m_documentSettlesAt.reset();
            if (baseline && self->onUnreadBaseline)
                self->onUnreadBaseline(event.count);
            else if (self->onUnreadCountChanged)
                self->onUnreadCountChanged(event.count);
        });
}

bool OrviWebCoordinator::isCurrent(const engine::WebView& webView) const {
    auto current = m_currentWebView.lock();
    return current && current.get() == &webView;
}

std::shared_ptr<engine::WebView> OrviWebCoordinator::strongView(engine::WebView& webView) const {
    auto current = m_currentWebView.lock();
    return current && current.get() == &webView ? current : nullptr;
}

ProfileId OrviWebCoordinator::sessionOwner(const engine::WebView& webView) const {
    return m_context.sessions.owner(webView).value_or(m_profile.id);
}

bool OrviWebCoordinator::canSaveFrom(const engine::WebView& webView) const {
    if (!m_sessionSync)
        return false;
    if (!m_context.sessions.isSessionLive(webView)) {
        logLine("ℹ️ Session of profile " + sessionOwner(webView).text() +
                " not restored into this WebView yet, not saving");
        return false;
    }
    return true;
}

void OrviWebCoordinator::saveCookies(const std::shared_ptr<engine::WebView>& webView) {
    if (canSaveFrom(*webView))
        m_sessionSync.cookieJar->saveCookies(sessionOwner(*webView), webView->sharedDataStore());
}

void OrviWebCoordinator::saveCookiesAndStorage(const std::shared_ptr<engine::WebView>& webView,
                                               std::function<void()> storageDone) {
    if (!canSaveFrom(*webView))
        return;
    const auto owner = sessionOwner(*webView);
    m_sessionSync.cookieJar->saveCookies(owner, webView->sharedDataStore());
    m_sessionSync.storage->saveStorage(owner, webView, std::move(storageDone));
}

void OrviWebCoordinator::attach(const std::shared_ptr<engine::WebView>& webView,
                                std::shared_ptr<const WebViewPlacement> placement) {
    if (!webView)
        return;
    m_currentWebView = webView;
    m_placement = std::move(placement);
    m_saveSchedule.stop();
    m_unreadDetectionService->attach(webView, m_profile.id);
    webView->setUIDelegate(this);

    std::weak_ptr<OrviWebCoordinator> weakSelf = weak_from_this();
    for (const char* name : {kLogHandler, kDownloadLinkHandler, kCallStateHandler}) {
        webView->removeScriptMessageHandler(name);
        webView->addScriptMessageHandler(name, kHandlerWorld,
                                         [weakSelf, handlerName = std::string(name)](const Json& body) {
                                             if (auto self = weakSelf.lock())
                                                 self->didReceiveScriptMessage(handlerName, body);
                                         });
    }
    // A cached view keeps its scripts across attaches, and every switch attaches it to a new
    // coordinator: adding them per coordinator grew the view's script list with each switch.
    if (m_context.sessions.claimFirstAttach(webView)) {
        webView->addUserScript(engine::UserScript{consoleInterceptScript(),
                                                  engine::InjectionTime::documentStart,
                                                  engine::FrameScope::allFrames, kHandlerWorld});
        installMediaScripts(webView);
    }
    watchCookieChanges(webView);
    // A page taken over already loaded sends no finish that would start the periodic save or
    // show which cookies it holds (a logout noticed later depends on knowing that).
    if (!webView->url().empty()) {
        startPeriodicSaving(webView);
        checkCookies(webView, false);
    }
}

void OrviWebCoordinator::superviseInBackground(const std::shared_ptr<engine::WebView>& webView) {
    if (!webView)
        return;
    m_inBackground = true;
    attach(webView);
    webView->setNavigationDelegate(this);
}

void OrviWebCoordinator::installMediaScripts(const std::shared_ptr<engine::WebView>& webView) {
    webView->addUserScript(engine::UserScript{OrviUserScripts::callStateDetectionScript(),
                                              engine::InjectionTime::documentStart,
                                              engine::FrameScope::allFrames, kHandlerWorld});
    webView->addUserScript(engine::UserScript{OrviUserScripts::downloadClickScript(m_context.domains),
                                              engine::InjectionTime::documentStart,
                                              engine::FrameScope::allFrames, kHandlerWorld});
}

void OrviWebCoordinator::detach(const std::shared_ptr<engine::WebView>& webView, bool saveFirst) {
    if (!webView)
        return;
    if (m_sessionSync && saveFirst) {
        logLine("💾 Saving cookies and storage before detach for profile: " + sessionOwner(*webView).text());
        saveCookiesAndStorage(webView, [] { logLine("   ✅ Saved cookies and storage before detach"); });
    }
    m_saveSchedule.stop();
    m_callState.reset();
    m_unreadDetectionService->detach(webView);
    for (const char* name : {kLogHandler, kDownloadLinkHandler, kCallStateHandler})
        webView->removeScriptMessageHandler(name);
    if (isCurrent(*webView)) {
        // A cached web view keeps running; it must not call back into a coordinator that
        // may be gone by then.
        webView->setNavigationDelegate(nullptr);
        webView->setUIDelegate(nullptr);
        m_cookieChanges.disconnect();
        m_currentWebView.reset();
        m_placement.reset();
    }
}

void OrviWebCoordinator::decidePolicyForNavigationAction(
    engine::WebView& webView, const engine::NavigationAction& action,
    std::function<void(engine::PolicyDecision)> decisionHandler) {
    m_decider.decideAction(webView, action, decisionHandler);
}

void OrviWebCoordinator::decidePolicyForNavigationResponse(
    engine::WebView& webView, const engine::NavigationResponse& response,
    std::function<void(engine::PolicyDecision)> decisionHandler) {
    if (response.isForMainFrame && isCurrent(webView))
        m_errorResponse =
            response.isHTTP ? PageTroubleState::fromStatusCode(response.statusCode) : std::nullopt;
    m_decider.decideResponse(webView, response, decisionHandler);
}

void OrviWebCoordinator::didStartProvisionalNavigation(engine::WebView&) {
    m_errorResponse.reset();
    if (onLoadingChanged)
        onLoadingChanged(true);
}

void OrviWebCoordinator::didCommitNavigation(engine::WebView& webView) {
    // A new document in the main frame: the frames that reported calls are gone.
    if (isCurrent(webView)) {
        m_callState.reset();
        m_documentSettlesAt =
            m_context.scheduler.now() + std::chrono::duration_cast<Clock::duration>(kDocumentSettleTime);
    }
}

void OrviWebCoordinator::loadServiceOrigin(engine::WebView& webView) {
    webView.load(engine::Request{m_context.domains.serviceOrigin(),
                                 {},
                                 engine::CachePolicy::useProtocolCachePolicy,
                                 kPlainRequestTimeout});
}

void OrviWebCoordinator::didFinishNavigation(engine::WebView& webView) {
    if (onLoadingChanged)
        onLoadingChanged(false);
    if (isCurrent(webView)) {
        // The server's error page is a page too, but not the service.
        if (auto failure = std::exchange(m_errorResponse, std::nullopt))
            m_trouble.failed(*failure);
        else
            m_trouble.loaded();
    }

    if (auto url = Url::parse(webView.url()); url && url->host()) {
        const auto path = trimSlashes(url->path());
        if (url->host()->find(asciiLowercase(m_context.domains.downloadHost)) != std::string::npos &&
            (path.empty() || path == "download")) {
            logLine("⚠️ Detected app download page, redirecting to main page...");
            loadServiceOrigin(webView);
        }
    }

    if (auto view = strongView(webView))
        checkCookies(view, true);
}

void OrviWebCoordinator::watchCookieChanges(const std::shared_ptr<engine::WebView>& webView) {
    m_cookieChanges.disconnect();
    if (!m_sessionSync)
        return;
    // A change between page loads (a renewed token, a logout) would otherwise wait for the
    // periodic save, and a crash in between would lose it.
    std::weak_ptr<OrviWebCoordinator> weakSelf = weak_from_this();
    std::weak_ptr<engine::WebView> weakView = webView;
    m_cookieChanges = webView->dataStore().cookieStore().observeChanges([weakSelf, weakView] {
        auto self = weakSelf.lock();
        if (!self)
            return;
        self->m_saveSchedule.afterCookieChange([weakSelf, weakView] {
            auto self = weakSelf.lock();
            auto view = weakView.lock();
            if (self && view && self->isCurrent(*view) && self->m_context.sessions.isSessionLive(*view))
                self->checkCookies(view, false);
        });
    });
}

void OrviWebCoordinator::checkCookies(const std::shared_ptr<engine::WebView>& webView, bool afterFinish) {
    if (!m_sessionSync)
        return;
    std::weak_ptr<OrviWebCoordinator> weakSelf = weak_from_this();
    std::weak_ptr<engine::WebView> weakView = webView;
    webView->dataStore().cookieStore().getAllCookies(
        [weakSelf, weakView, afterFinish](Result<std::vector<engine::Cookie>> cookies) {
            auto self = weakSelf.lock();
            auto webView = weakView.lock();
            if (!self || !webView)
                return;
            // An unreadable store says nothing about the session; it must not pass for a logout.
            if (!cookies) {
                logLine("⚠️ Could not read cookies of profile " + self->sessionOwner(*webView).text() +
                        ": " + cookies.error().message);
                return;
            }
            self->compareCookies(cookies.value(), webView, afterFinish);
        });
}

void OrviWebCoordinator::compareCookies(const std::vector<engine::Cookie>& cookies,
                                        const std::shared_ptr<engine::WebView>& webView, bool afterFinish) {
    const auto change = m_saveSchedule.cookiesChanged(cookies);
    // A finish that arrives after the coordinator moved on must not restart the timer for
    // a web view it no longer watches.
    if (afterFinish && isCurrent(*webView))
        startPeriodicSaving(webView);
    if (change == SessionSaveSchedule::CookieChange::changed)
        saveCookies(webView);
    else if (change == SessionSaveSchedule::CookieChange::emptied)
        forgetEndedSession(webView);
}

void OrviWebCoordinator::forgetEndedSession(const std::shared_ptr<engine::WebView>& webView) {
    // The empty saved-session guard is for a store that comes up empty; this one was read with
    // cookies in this run and emptied while its page was open, so keeping the saved copy
    // would log the user back in at the next start.
    if (!isCurrent(*webView) || !canSaveFrom(*webView))
        return;
    const auto owner = sessionOwner(*webView);
    logLine("🚪 All cookies of profile " + owner.text() +
            " are gone while its page is open – session ended, forgetting the saved cookies");
    m_sessionSync.cookieJar->clearCookies(owner);
}

void OrviWebCoordinator::startPeriodicSaving(const std::shared_ptr<engine::WebView>& webView) {
    std::weak_ptr<OrviWebCoordinator> weakSelf = weak_from_this();
    std::weak_ptr<engine::WebView> weakView = webView;
    m_saveSchedule.startPeriodic([weakSelf, weakView] {
        auto self = weakSelf.lock();
        if (!self)
            return false;
        auto view = weakView.lock();
        if (!view || !self->isCurrent(*view))
            return false;
        logLine("⏰ Periodic save for profile: " + self->sessionOwner(*view).text() +
                " (storage: " + std::string(rawValue(self->m_profile.storageType)) + ")");
        self->saveCookies(view);
        return true;
    });
}

void OrviWebCoordinator::saveCurrentCookiesAndStorage() {
    auto webView = m_currentWebView.lock();
    if (!webView || !m_sessionSync)
        return;
    if (m_saveSchedule.loginSavesPending())
        return;
    logLine("💾 User logged in - saving cookies and storage...");
    std::weak_ptr<OrviWebCoordinator> weakSelf = weak_from_this();
    std::weak_ptr<engine::WebView> weakView = webView;
    m_saveSchedule.afterLogin([weakSelf, weakView](const std::string& label) {
        auto self = weakSelf.lock();
        auto view = weakView.lock();
        if (!self || !view || !self->isCurrent(*view))
            return;
        logLine("   💾 Login save attempt (" + label + ") for profile: " + self->sessionOwner(*view).text());
        self->saveCookiesAndStorage(
            view, [label] { logLine("   ✅ Login save attempt (" + label + ") completed"); });
    });
}

void OrviWebCoordinator::didReceiveScriptMessage(const std::string& handlerName, const Json& body) {
    auto webView = m_currentWebView.lock();
    if (!webView || !m_messageGate.admit(handlerName, *webView, body))
        return;
    if (handlerName == kCallStateHandler)
        m_callState.handleMessage(body);
    else if (handlerName == kDownloadLinkHandler)
        handleDownloadLink(body);
    else if (handlerName == kLogHandler)
        handleLogMessage(body);
}

void OrviWebCoordinator::handleLogMessage(const Json& body) {
    const auto type = body.is_object() ? stringMember(body, "type") : std::nullopt;
    const auto message = body.is_object() ? stringMember(body, "message") : std::nullopt;
    if (!type || !message)
        return;
    logLine(PageMessageGate::pageLogLine(*type, *message));
    if (*type == "log" && message->find(kLoggedInMarker) != std::string::npos)
        saveCurrentCookiesAndStorage();
}

void OrviWebCoordinator::handleDownloadLink(const Json& body) {
    std::optional<std::string> url;
    std::optional<std::string> label;
    std::optional<std::string> context;
    std::optional<std::string> remembered;
    if (body.is_string()) {
        url = body.get<std::string>();
    } else if (body.is_object()) {
        url = stringMember(body, "url");
        label = stringMember(body, "label");
        context = stringMember(body, "debugContext");
        remembered = stringMember(body, "rememberedLabel");
    }
    if (!url || !Url::parse(*url))
        return;
    auto webView = m_currentWebView.lock();
    if (!webView)
        return;
    // The page's texts go into our log on one line each.
    auto oneLine = [](const std::string& text) { return PageMessageGate::oneLine(text); };
    logLine("📥 Download link from JS (iframe): " + oneLine(*url) +
            (label && !label->empty() ? " (label: " + oneLine(*label) + ")" : ""));
    if (context && !context->empty())
        logLine("🧭 Download click context: " + oneLine(*context));
    if (remembered && !remembered->empty())
        logLine("📝 Remembered attachment label: " + oneLine(*remembered));
    m_context.downloads.startManualDownload(*webView, *url, label);
}

void OrviWebCoordinator::didFailNavigation(engine::WebView& webView, const Error& error) {
    if (onLoadingChanged)
        onLoadingChanged(false);
    if (error.domain != engine::kURLErrorDomain)
        logLine("⚠️ Navigation failed: " + error.message);
    else if (error.code == engine::kURLErrorNotConnectedToInternet)
        logLine("⚠️ No internet connection");
    else if (error.code == engine::kURLErrorTimedOut)
        logLine("⚠️ Navigation timed out after the page started loading");
    else if (error.code == engine::kURLErrorCancelled)
        logLine("⚠️ Navigation cancelled (NSURLErrorCancelled) - this may be due to profile switching");
    else
        logLine("⚠️ Navigation failed with NSURLError code: " + std::to_string(error.code));
    loadFailed(webView, error);
}

void OrviWebCoordinator::didFailProvisionalNavigation(engine::WebView& webView, const Error& error) {
    if (onLoadingChanged)
        onLoadingChanged(false);
    if (error.domain != engine::kURLErrorDomain)
        logLine("⚠️ Provisional navigation failed: " + error.message);
    else if (error.code == engine::kURLErrorCancelled)
        logLine("⚠️ Provisional navigation cancelled (NSURLErrorCancelled) - this may be due to profile "
                "switching or WebView recreation");
    else if (error.code == engine::kURLErrorTimedOut)
        logLine("⚠️ Provisional navigation timed out");
    else
        logLine("⚠️ Provisional navigation failed with NSURLError code: " + std::to_string(error.code));
    loadFailed(webView, error);
}

void OrviWebCoordinator::webContentProcessDidTerminate(engine::WebView& webView,
                                                       engine::ProcessTerminationReason) {
    if (isCurrent(webView))
        m_callState.reset();
    const auto delay = m_crashBackoff.nextReloadDelay();
    if (!delay) {
        if (onLoadingChanged)
            onLoadingChanged(false);
        if (isCurrent(webView))
            m_trouble.failed(PageTroubleState{PageFailure::keepsCrashing});
        return;
    }
    auto view = strongView(webView);
    if (!view)
        return;
    std::weak_ptr<OrviWebCoordinator> weakSelf = weak_from_this();
    std::weak_ptr<engine::WebView> weakView = view;
    m_context.scheduler.postAfter(*delay, [weakSelf, weakView] {
        auto self = weakSelf.lock();
        auto webView = weakView.lock();
        if (self && webView)
            self->reloadAfterCrash(webView);
    });
}

void OrviWebCoordinator::reloadAfterCrash(const std::shared_ptr<engine::WebView>& webView) {
    // A page off screen has no window by nature, yet its account must stay reachable.
    if (!isCurrent(*webView) || (!m_inBackground && (!m_placement || !m_placement->hasWindow())))
        return;
    if (!webView->url().empty())
        webView->reload();
    else
        loadServiceOrigin(*webView);
}

void OrviWebCoordinator::navigationDidBecomeDownload(engine::WebView&,
                                                     const std::shared_ptr<engine::Download>& download) {
    m_context.downloads.adoptDownload(download);
}

void OrviWebCoordinator::runJavaScriptAlert(engine::WebView&, const std::string&,
                                            std::function<void()> completion) {
    completion();
}

void OrviWebCoordinator::runJavaScriptConfirm(engine::WebView&, const std::string&,
                                              std::function<void(bool)> completion) {
    completion(true);
}

void OrviWebCoordinator::requestMediaCapturePermission(
    engine::WebView& webView, const std::string& origin, engine::MediaCaptureType,
    std::function<void(engine::PermissionDecision)> decisionHandler) {
    if (!m_context.mediaPermissionsEnabled || !m_context.mediaPermissionsEnabled()) {
        logLine("🔒 Camera and microphone are switched off in the settings");
        decisionHandler(engine::PermissionDecision::deny);
        return;
    }
    // Only the service's own page may use them, never a page the view strayed to.
    if (!isCurrent(webView) || !m_context.domains.isAllowed(origin) ||
        !m_context.domains.isAllowed(webView.url())) {
        logLine("🔒 Blocked media capture for a page outside the service: " + origin.substr(0, 200));
        decisionHandler(engine::PermissionDecision::deny);
        return;
    }
    const bool allowed = m_callState.mayCapture(m_profile.callsEnabled, m_profile.name);
    decisionHandler(allowed ? engine::PermissionDecision::grant : engine::PermissionDecision::deny);
}

} // namespace orvi
