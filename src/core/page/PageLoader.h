#pragma once

#include "core/base/ProfileId.h"
#include "core/base/Scheduler.h"
#include "core/page/WebViewPlacement.h"
#include "core/profiles/LocationSettings.h"
#include "core/session/SessionSync.h"
#include "core/web/policy/OrviDomains.h"

#include <functional>
#include <memory>
#include <optional>

namespace orvi {

class PreferencesStore;
class VPNDetectionServiceProtocol;
class WebViewSessions;
namespace engine {
class WebView;
}

// What every page load shares with the rest of the application.
struct PageLoadContext {
    Scheduler& scheduler;
    const PreferencesStore& preferences;
    OrviDomains domains;
    VPNDetectionServiceProtocol& vpnDetectionService;
    WebViewSessions& sessions;
};

// Loads the service page into one profile's web view: waits for a visible window, passes the
// VPN gate, puts the profile's saved cookies and then its storage into the web view, and
// only then sends the request. A watchdog stops a load still running after 45 s and retries
// it once. Every step acts on the profile the web view was built for, whatever is active by
// the time it runs. Delayed steps hold the loader weakly: dropping it cancels what is left.
class PageLoader final : public std::enable_shared_from_this<PageLoader> {
public:
    static constexpr Duration kFirstWindowWait = std::chrono::milliseconds(300);
    static constexpr Duration kSecondWindowWait = std::chrono::milliseconds(500);
    static constexpr Duration kLoadingTimeout = std::chrono::seconds(45);
    static constexpr Duration kPauseBeforeRetry = std::chrono::seconds(2);

    struct Options {
        bool ignoreVPNWarning = false;
        std::function<void()> onVPNWarning;
    };

    static std::shared_ptr<PageLoader> create(std::shared_ptr<engine::WebView> webView, ProfileId owner,
                                              LocationSettings location, SessionSync sessionSync,
                                              std::shared_ptr<const WebViewPlacement> placement,
                                              PageLoadContext context, Options options);

    // The full sequence: window wait, VPN gate, "already loaded" skip, restore, request.
    // The window wait ends as soon as the host is mapped (at once when it already is), and
    // after kFirstWindowWait at the latest.
    void start();
    // For a web view that has just been put in place of another one under the same host:
    // restore and request at once, without the window wait, the gate or the skip.
    void restoreAndLoad();
    // A load that stopped at the VPN gate passes it again: checks once more and loads when no
    // VPN is found or the warning is now ignored. With `warnAgain` false a VPN still found
    // leaves the load held without asking for the warning, so closing the warning cannot
    // bring it straight back. Loads that got past the gate are left alone.
    void retryGate(bool ignoreVPNWarning, bool warnAgain);
    bool isHeldAtGate() const { return m_heldAtGate; }

private:
    PageLoader(std::shared_ptr<engine::WebView> webView, ProfileId owner, LocationSettings location,
               SessionSync sessionSync, std::shared_ptr<const WebViewPlacement> placement,
               PageLoadContext context, Options options);

    enum class Path { firstLoad, replacedWebView };

    // An answer asked for during the window wait, handed to whoever needs it later: at once
    // when it has arrived, else on arrival.
    struct EarlyAnswer {
        std::optional<bool> value;
        std::function<void(bool)> then;
        void arrive(bool answer);
        void whenArrived(std::function<void(bool)> next);
    };

    void startEarlyWork();
    void startEarlyCookieRestore();
    bool isOnService(const engine::WebView& webView) const;
    void endFirstWindowWait();
    void checkWindowReadiness();
    void startLoading(bool warn = true);
    void loadPage();
    void restore(Path path);
    void loadURL();
    void setupLoadingTimeoutHandler(const std::string& url);
    template <class Step> void after(Duration delay, Step step);

    std::weak_ptr<engine::WebView> m_webView;
    const ProfileId m_owner;
    const LocationSettings m_location;
    SessionSync m_sessionSync;
    std::shared_ptr<const WebViewPlacement> m_placement;
    PageLoadContext m_context;
    Options m_options;
    std::vector<TimerHandle> m_timers;
    TimerHandle m_firstWindowWait;
    Connection m_windowMapped;
    bool m_firstWindowWaitOver = false;
    bool m_heldAtGate = false;
    std::shared_ptr<EarlyAnswer> m_earlyVPN;
    std::shared_ptr<EarlyAnswer> m_earlyCookies;
};

} // namespace orvi
