#include "core/page/PageLoader.h"

#include "core/base/Log.h"
#include "core/env/VPNDetectionServiceProtocol.h"
#include "core/page/PageRequest.h"
#include "core/page/WebViewSessions.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/PreferencesStore.h"
#include "core/web/policy/Url.h"
#include "engine/WebView.h"

#include <utility>

namespace orvi {

namespace {

const char* text(bool value) {
    return value ? "true" : "false";
}

} // namespace

std::shared_ptr<PageLoader> PageLoader::create(std::shared_ptr<engine::WebView> webView, ProfileId owner,
                                               LocationSettings location, SessionSync sessionSync,
                                               std::shared_ptr<const WebViewPlacement> placement,
                                               PageLoadContext context, Options options) {
    return std::shared_ptr<PageLoader>(new PageLoader(std::move(webView), owner, std::move(location),
                                                      std::move(sessionSync), std::move(placement),
                                                      std::move(context), std::move(options)));
}

PageLoader::PageLoader(std::shared_ptr<engine::WebView> webView, ProfileId owner, LocationSettings location,
                       SessionSync sessionSync, std::shared_ptr<const WebViewPlacement> placement,
                       PageLoadContext context, Options options)
    : m_webView(webView), m_owner(owner), m_location(std::move(location)),
      m_sessionSync(std::move(sessionSync)), m_placement(std::move(placement)), m_context(std::move(context)),
      m_options(std::move(options)) {}

template <class Step> void PageLoader::after(Duration delay, Step step) {
    std::weak_ptr<PageLoader> weakSelf = weak_from_this();
    m_timers.push_back(m_context.scheduler.startTimer(delay, [weakSelf, step] {
        if (auto self = weakSelf.lock())
            step(*self);
    }));
}

void PageLoader::EarlyAnswer::arrive(bool answer) {
    value = answer;
    if (auto next = std::exchange(then, nullptr))
        next(answer);
}

void PageLoader::EarlyAnswer::whenArrived(std::function<void(bool)> next) {
    if (value)
        next(*value);
    else
        then = std::move(next);
}

bool PageLoader::isOnService(const engine::WebView& webView) const {
    const auto url = Url::parse(webView.url());
    return url && url->host() && m_context.domains.isAllowed(*url);
}

// The VPN answer and the cookie restore take a good part of the way to the first request and
// need no window, so they run while the window is being shown. Cookies go in only once the
// gate is known to let the load through, and a web view already on the service keeps its own.
void PageLoader::startEarlyWork() {
    std::weak_ptr<PageLoader> weakSelf = weak_from_this();
    auto early = m_earlyVPN = std::make_shared<EarlyAnswer>();
    m_context.vpnDetectionService.checkVPNStatus([weakSelf, early](bool isVPNEnabled) {
        // Before the answer is handed on, so that a load already waiting for it finds the
        // restore under way instead of starting a second one.
        if (auto self = weakSelf.lock(); self && (!isVPNEnabled || self->m_options.ignoreVPNWarning))
            self->startEarlyCookieRestore();
        early->arrive(isVPNEnabled);
    });
}

void PageLoader::startEarlyCookieRestore() {
    auto webView = m_webView.lock();
    if (m_earlyCookies || !m_sessionSync || !webView || isOnService(*webView))
        return;
    m_earlyCookies = std::make_shared<EarlyAnswer>();
    m_sessionSync.cookieJar->restoreCookies(m_owner, webView->sharedDataStore(),
                                            [early = m_earlyCookies] { early->arrive(true); });
}

void PageLoader::start() {
    startEarlyWork();
    std::weak_ptr<PageLoader> weakSelf = weak_from_this();
    auto end = [weakSelf] {
        if (auto self = weakSelf.lock())
            self->endFirstWindowWait();
    };
    // Waiting longer than the window takes to appear only delays the first request; a switch
    // to another profile happens in a window that is already on screen. The check runs on the
    // next turn of the main queue so that the host can put the web view in place first.
    if (m_placement->hasWindow() && m_placement->isWindowVisible()) {
        m_firstWindowWait = m_context.scheduler.startTimer(Duration::zero(), end);
        return;
    }
    m_windowMapped = m_placement->whenWindowMapped(
        [this, end] { m_firstWindowWait = m_context.scheduler.startTimer(Duration::zero(), end); });
    m_firstWindowWait = m_context.scheduler.startTimer(kFirstWindowWait, end);
}

void PageLoader::endFirstWindowWait() {
    if (std::exchange(m_firstWindowWaitOver, true))
        return;
    m_windowMapped.disconnect();
    m_firstWindowWait.cancel();
    checkWindowReadiness();
}

void PageLoader::restoreAndLoad() {
    restore(Path::replacedWebView);
}

void PageLoader::checkWindowReadiness() {
    if (m_placement->hasWindow() && m_placement->isWindowVisible()) {
        logLine("   ✅ Window ready and visible, starting load");
        startLoading();
        return;
    }
    if (m_placement->hasWindow()) {
        logLine("   ⚠️ Window exists but not visible, delaying load by 0.5s");
        after(kSecondWindowWait, [](PageLoader& self) {
            if (self.m_placement->hasWindow() && self.m_placement->isWindowVisible())
                logLine("   ✅ Window now visible, starting load");
            else
                logLine("   ⚠️ Window still not visible, attempting load anyway");
            self.startLoading();
        });
        return;
    }
    logLine("   ⚠️ Window is nil, delaying load by 0.5s");
    after(kSecondWindowWait, [](PageLoader& self) {
        if (self.m_placement->hasWindow())
            logLine("   ✅ Window available after delay, starting load");
        else
            logLine("   ⚠️ Window still not available, attempting load anyway");
        self.startLoading();
    });
}

void PageLoader::retryGate(bool ignoreVPNWarning, bool warnAgain) {
    if (!m_heldAtGate)
        return;
    m_heldAtGate = false;
    m_options.ignoreVPNWarning = ignoreVPNWarning;
    startLoading(warnAgain);
}

void PageLoader::startLoading(bool warn) {
    const bool ignore = m_options.ignoreVPNWarning;
    logLine(std::string("🔍 VPN check (startLoading): ignoreVPNWarning=") + text(ignore));
    std::weak_ptr<PageLoader> weakSelf = weak_from_this();
    auto answered = [weakSelf, ignore, warn](bool isVPNEnabled) {
        auto self = weakSelf.lock();
        if (!self || self->m_webView.expired())
            return;
        logLine(std::string("🔍 VPN status (startLoading): isVPNEnabled=") + text(isVPNEnabled) +
                ", ignoreVPNWarning=" + text(ignore));
        if (isVPNEnabled && !ignore) {
            self->m_heldAtGate = true;
            if (!warn)
                return;
            logLine("⚠️ VPN обнаружен, показываем предупреждение");
            if (auto onWarning = self->m_options.onVPNWarning)
                self->m_context.scheduler.post(onWarning);
            return;
        }
        if (isVPNEnabled)
            logLine("ℹ️ VPN включен, но предупреждение "
                    "проигнорировано");
        self->loadPage();
    };
    if (auto early = std::exchange(m_earlyVPN, nullptr))
        early->whenArrived(answered);
    else
        m_context.vpnDetectionService.checkVPNStatus(answered);
}

void PageLoader::loadPage() {
    auto webView = m_webView.lock();
    if (!webView)
        return;
    if (isOnService(*webView)) {
        const auto url = Url::parse(webView->url());
        logLine("ℹ️ WebView already loaded (" + *url->host() + "), skipping reload for profile " +
                m_owner.text());
        m_context.sessions.markSessionLive(*webView);
        return;
    }
    logLine("📥 Restoring cookies for profile: " + m_owner.text());
    restore(Path::firstLoad);
}

void PageLoader::restore(Path path) {
    auto webView = m_webView.lock();
    if (!webView)
        return;
    if (!m_sessionSync) {
        logLine("   ⚠️ No CookieManager available, loading without cookie restoration");
        loadURL();
        return;
    }
    std::weak_ptr<PageLoader> weakSelf = weak_from_this();
    auto restored = [weakSelf, path] {
        auto self = weakSelf.lock();
        auto view = self ? self->m_webView.lock() : nullptr;
        if (!view)
            return;
        logLine(path == Path::firstLoad
                    ? "   ✅ Cookies restored for profile: " + self->m_owner.text()
                    : std::string("   ✅ Restored cookies for new profile in updateNSView"));
        self->m_sessionSync.storage->restoreStorage(self->m_owner, view, [weakSelf, path] {
            auto self = weakSelf.lock();
            auto view = self ? self->m_webView.lock() : nullptr;
            if (!view)
                return;
            logLine(path == Path::firstLoad
                        ? "   ✅ Storage restored for profile: " + self->m_owner.text()
                        : std::string("   ✅ Restored storage for new profile in updateNSView"));
            // From here on the web view carries the profile's session, so saving from it
            // can no longer wipe the saved login.
            self->m_context.sessions.markSessionLive(*view);
            // No pause before the request: the cookie restore calls back only once every
            // cookie store has confirmed its cookie, and the engine confirms a cookie only
            // when its network side holds it, so the request already carries them.
            self->after(Duration::zero(), [](PageLoader& loader) { loader.loadURL(); });
        });
    };
    if (auto early = std::exchange(m_earlyCookies, nullptr); early && path == Path::firstLoad)
        early->whenArrived([restored](bool) { restored(); });
    else
        m_sessionSync.cookieJar->restoreCookies(m_owner, webView->sharedDataStore(), restored);
}

void PageLoader::loadURL() {
    auto webView = m_webView.lock();
    if (!webView)
        return;
    if (m_context.preferences.boolean(keys::kUseTestPage)) {
        logLine("🧪 Loading test HTML page for diagnostics");
        webView->loadHTMLString(PageRequest::testPageHTML(), "");
        return;
    }
    const auto origin = m_context.domains.serviceOrigin();
    const auto parsed = Url::parse(origin);
    if (!parsed || !parsed->host()) {
        logLine("   ❌ Failed to create URL from domain: " + m_context.domains.webHost);
        logLine("   🧪 Loading fallback HTML instead of remote URL");
        webView->loadHTMLString(PageRequest::fallbackPageHTML(), "");
        return;
    }
    auto request = PageRequest::make(origin, webView->customUserAgent(), m_location);
    std::string acceptLanguage = "none";
    for (const auto& [name, value] : request.headers) {
        if (name == "Accept-Language")
            acceptLanguage = value;
    }
    logLine("🌐 Loading page with restored cookies (Location: " + m_location.cityName + ")");
    logLine("   📍 URL: " + origin);
    logLine("   📋 Headers: Accept-Language=" + acceptLanguage + ", Timezone=" + m_location.timezone);

    if (!m_placement->hasWindow()) {
        logLine("   ⚠️ WebView window is nil, cannot load URL");
        return;
    }
    request.timeoutSeconds = PageRequest::kSendTimeout;
    webView->load(request);
    logLine("   ✅ Load request sent");
    setupLoadingTimeoutHandler(origin);
}

void PageLoader::setupLoadingTimeoutHandler(const std::string& url) {
    // The watchdog belongs to the web view's load, not to this loader: it keeps guarding the
    // load when the host moves on, and holds the web view weakly.
    std::weak_ptr<engine::WebView> weakView = m_webView;
    Scheduler& scheduler = m_context.scheduler;
    scheduler.postAfter(kLoadingTimeout, [weakView, url, &scheduler] {
        auto webView = weakView.lock();
        if (!webView || !webView->isLoading())
            return;
        logLine("⚠️ Loading timeout reached for " + url + ", stopping load");
        webView->stopLoading();
        scheduler.postAfter(kPauseBeforeRetry, [weakView, url] {
            auto webView = weakView.lock();
            if (!webView || webView->isLoading())
                return;
            logLine("🔄 Retrying load after timeout for " + url);
            webView->load(engine::Request{
                url, {}, engine::CachePolicy::useProtocolCachePolicy, PageRequest::kRetryTimeout});
        });
    });
}

} // namespace orvi
