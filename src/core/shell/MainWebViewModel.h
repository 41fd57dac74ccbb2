#pragma once

#include "core/base/Signal.h"
#include "core/page/OrviWebCoordinator.h"
#include "core/page/WebViewFactory.h"
#include "core/profiles/ProfileStoreProtocol.h"
#include "core/session/SessionExportProtocol.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace orvi {

class NotificationServiceProtocol;

enum class ForceReload { no, yes };

// Ties the active profile to a live page: owns the active profile's coordinator, replaces it
// when the profile changes, gathers per-profile unread counts for notifications and
// publishes the page's loading and call state. Main thread only.
class MainWebViewModel final : public std::enable_shared_from_this<MainWebViewModel> {
public:
    static constexpr Duration kSwitchGuard = std::chrono::milliseconds(300);

    // Makes the supervisor of a profile's page, on screen or in the background alike, so
    // that whatever the caller injects (the navigation policy above all) reaches every page.
    using CoordinatorFactory = std::function<std::shared_ptr<OrviWebCoordinator>(const Profile&)>;
    static CoordinatorFactory
    coordinatorFactory(std::shared_ptr<NavigationPolicyServiceProtocol> navigationPolicyService,
                       std::shared_ptr<UnreadDetectionServiceProtocol> unreadDetectionService,
                       SessionSync sessionSync, CoordinatorContext context);

    static std::shared_ptr<MainWebViewModel>
    create(ProfileStoreProtocol& profileStore, SessionSync sessionSync,
           std::shared_ptr<SessionExportProtocol> sessionExport, CoordinatorFactory makeCoordinator,
           NotificationServiceProtocol& notificationService, CoordinatorContext context);
    // The same with the standard factory over these services.

    static std::shared_ptr<MainWebViewModel>
    create(ProfileStoreProtocol& profileStore, SessionSync sessionSync,
           std::shared_ptr<SessionExportProtocol> sessionExport,
           std::shared_ptr<NavigationPolicyServiceProtocol> navigationPolicyService,
           std::shared_ptr<UnreadDetectionServiceProtocol> unreadDetectionService,
           NotificationServiceProtocol& notificationService, CoordinatorContext context);

    Published<Profile> activeProfile;
    Published<int> unreadCount{0};
    Published<std::map<ProfileId, int>> unreadCounts;
    Published<bool> isLoading{false};
    Published<bool> isCallActive{false};
    Published<bool> isNetworkSuspended{false};
    // Profiles whose page was dropped to free memory; their count stays as last reported
    // until the user selects them and the page is built again.
    Published<std::set<ProfileId>> hibernatedProfiles;
    // Why the page on screen is not shown, while it is not.
    Published<std::optional<PageTroubleState>> pageTrouble;

    const std::shared_ptr<OrviWebCoordinator>& coordinator() const { return m_coordinator; }
    // Told after the coordinator was replaced; the host then shows the new profile's page.
    [[nodiscard]] Connection
    subscribeToCoordinator(std::function<void(const std::shared_ptr<OrviWebCoordinator>&)> slot) {
        return m_coordinatorChanged.connect(std::move(slot));
    }
    std::function<void()> onMediaCaptureRequested;

    const SessionSync& sessionSync() const { return m_sessionSync; }

    // Exports the session of the page on screen (the profile its web view belongs to).
    void exportToFile(std::function<void(std::optional<std::filesystem::path>)> completion);
    // The user asked to try the page on screen again.
    void retryPage() { m_coordinator->retryAfterTrouble(); }
    void suspendNetworkActivityIfIdle();
    void resumeNetworkActivityIfNeeded(ForceReload forceReload);

    // A deleted profile's count leaves every total and its page is no longer watched.
    void forgetProfile(const ProfileId& profileId);

    // The supervisor of a profile's page while another profile is on screen; null when that
    // profile has no live page.
    std::shared_ptr<OrviWebCoordinator> backgroundSupervisor(const ProfileId& profileId) const;
    // Every page still running, on screen first, each with the profile whose session it holds.
    std::vector<std::pair<ProfileId, std::shared_ptr<engine::WebView>>> livePages() const;

    // Puts a page loaded off screen under a background supervisor, as if the user had left
    // it. Null for the profile on screen.
    std::shared_ptr<OrviWebCoordinator>
    superviseInBackground(const Profile& profile, const std::shared_ptr<engine::WebView>& webView);
    // Where a hibernated profile's web view is dropped; without a factory nothing hibernates.
    void setWebViewFactory(std::shared_ptr<WebViewFactoryProtocol> factory);
    // How long a page stays live in the background before its session is saved and its web
    // view dropped; none keeps every page live. Counts from the moment each page left the
    // screen, also for pages already in the background.
    void setHibernateAfter(std::optional<Duration> delay);

private:
    MainWebViewModel(ProfileStoreProtocol& profileStore, SessionSync sessionSync,
                     std::shared_ptr<SessionExportProtocol> sessionExport,
                     NotificationServiceProtocol& notificationService, CoordinatorFactory makeCoordinator,
                     CoordinatorContext context);

    void bind();
    void installCallbacks(OrviWebCoordinator& coordinator);
    void activeProfileChanged(const Profile& profile);
    void switchProfile(const Profile& profile);
    void switchGuardCleared();
    void unreadCountReported(const ProfileId& profileId, int count, bool baseline);
    std::optional<int> knownUnreadCount(const ProfileId& profileId) const;
    void installUnreadCallbacks(OrviWebCoordinator& coordinator);
    void sendToBackground(const std::shared_ptr<OrviWebCoordinator>& leaving);
    void takeFromBackground(const ProfileId& profileId);
    std::shared_ptr<OrviWebCoordinator> startSupervising(const Profile& profile,
                                                         const std::shared_ptr<engine::WebView>& webView,
                                                         std::optional<Clock::time_point> documentSettlesAt);
    void armHibernation(const ProfileId& profileId);
    void hibernate(const ProfileId& profileId);
    void dropHibernatedPage(const ProfileId& profileId,
                            const std::shared_ptr<OrviWebCoordinator>& supervisor);
    void setHibernated(const ProfileId& profileId, bool hibernated);

    ProfileStoreProtocol& m_profileStore;
    SessionSync m_sessionSync;
    std::shared_ptr<SessionExportProtocol> m_sessionExport;
    NotificationServiceProtocol& m_notificationService;
    CoordinatorFactory m_makeCoordinator;
    CoordinatorContext m_context;

    std::shared_ptr<OrviWebCoordinator> m_coordinator;
    std::map<ProfileId, std::shared_ptr<OrviWebCoordinator>> m_background;
    std::map<ProfileId, Clock::time_point> m_backgroundSince;
    std::map<ProfileId, TimerHandle> m_hibernationTimers;
    std::shared_ptr<WebViewFactoryProtocol> m_webViewFactory;
    std::optional<Duration> m_hibernateAfter;
    Signal<std::shared_ptr<OrviWebCoordinator>> m_coordinatorChanged;
    ProfileId m_lastObservedProfileId;
    bool m_isSwitchingProfile = false;
    bool m_switchDeferred = false;
    TimerHandle m_switchGuard;
    Connection m_storeActiveProfile;
    Connection m_activeProfileObserver;
};

} // namespace orvi
