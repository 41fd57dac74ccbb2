#include "core/shell/MainWebViewModel.h"

#include "core/base/Log.h"
#include "core/notify/NotificationServiceProtocol.h"
#include "core/page/WebViewSessions.h"

#include <algorithm>

namespace orvi {

namespace {

constexpr const char* kParkedPage = "<html><body style='background:#fff'></body></html>";
constexpr double kResumeTimeout = 60.0;

} // namespace

MainWebViewModel::CoordinatorFactory
MainWebViewModel::coordinatorFactory(std::shared_ptr<NavigationPolicyServiceProtocol> navigationPolicyService,
                                     std::shared_ptr<UnreadDetectionServiceProtocol> unreadDetectionService,
                                     SessionSync sessionSync, CoordinatorContext context) {
    return [=](const Profile& profile) {
        return OrviWebCoordinator::create(profile, navigationPolicyService, unreadDetectionService,
                                          sessionSync, context);
    };
}

std::shared_ptr<MainWebViewModel>
MainWebViewModel::create(ProfileStoreProtocol& profileStore, SessionSync sessionSync,
                         std::shared_ptr<SessionExportProtocol> sessionExport,
                         CoordinatorFactory makeCoordinator, NotificationServiceProtocol& notificationService,
                         CoordinatorContext context) {
    std::shared_ptr<MainWebViewModel> model(
        new MainWebViewModel(profileStore, std::move(sessionSync), std::move(sessionExport),
                             notificationService, std::move(makeCoordinator), std::move(context)));
    model->bind();
    return model;
}

std::shared_ptr<MainWebViewModel>
MainWebViewModel::create(ProfileStoreProtocol& profileStore, SessionSync sessionSync,
                         std::shared_ptr<SessionExportProtocol> sessionExport,
                         std::shared_ptr<NavigationPolicyServiceProtocol> navigationPolicyService,
                         std::shared_ptr<UnreadDetectionServiceProtocol> unreadDetectionService,
                         NotificationServiceProtocol& notificationService, CoordinatorContext context) {
    auto factory = coordinatorFactory(std::move(navigationPolicyService), std::move(unreadDetectionService),
                                      sessionSync, context);
    return create(profileStore, std::move(sessionSync), std::move(sessionExport), std::move(factory),
                  notificationService, std::move(context));
}

MainWebViewModel::MainWebViewModel(ProfileStoreProtocol& profileStore, SessionSync sessionSync,
                                   std::shared_ptr<SessionExportProtocol> sessionExport,
                                   NotificationServiceProtocol& notificationService,
                                   CoordinatorFactory makeCoordinator, CoordinatorContext context)
    : activeProfile(profileStore.activeProfile()), m_profileStore(profileStore),
      m_sessionSync(std::move(sessionSync)), m_sessionExport(std::move(sessionExport)),
      m_notificationService(notificationService), m_makeCoordinator(std::move(makeCoordinator)),
      m_context(std::move(context)), m_lastObservedProfileId(profileStore.activeProfile().id) {}

void MainWebViewModel::bind() {
    m_coordinator = m_makeCoordinator(activeProfile());
    installCallbacks(*m_coordinator);
    std::weak_ptr<MainWebViewModel> weakSelf = weak_from_this();
    m_storeActiveProfile = m_profileStore.subscribeToActiveProfile([weakSelf](const Profile& profile) {
        if (auto self = weakSelf.lock())
            self->activeProfile.set(profile);
    });
    m_activeProfileObserver = activeProfile.subscribe([weakSelf](const Profile& profile) {
        if (auto self = weakSelf.lock())
            self->activeProfileChanged(profile);
    });
}

void MainWebViewModel::installUnreadCallbacks(OrviWebCoordinator& coordinator) {
    std::weak_ptr<MainWebViewModel> weakSelf = weak_from_this();
    coordinator.onUnreadCountChanged = [weakSelf, id = coordinator.profile().id](int count) {
        if (auto self = weakSelf.lock())
            self->unreadCountReported(id, count, false);
    };
    coordinator.onUnreadBaseline = [weakSelf, id = coordinator.profile().id](int count) {
        if (auto self = weakSelf.lock())
            self->unreadCountReported(id, count, true);
    };
}

void MainWebViewModel::installCallbacks(OrviWebCoordinator& coordinator) {
    std::weak_ptr<MainWebViewModel> weakSelf = weak_from_this();
    installUnreadCallbacks(coordinator);
    coordinator.onLoadingChanged = [weakSelf](bool loading) {
        if (auto self = weakSelf.lock())
            self->isLoading.set(loading);
    };
    coordinator.onTroubleChanged = [weakSelf](const std::optional<PageTroubleState>& state) {
        if (auto self = weakSelf.lock())
            self->pageTrouble.set(state);
    };
    coordinator.onCallStateChanged = [weakSelf](bool active) {
        if (auto self = weakSelf.lock())
            self->isCallActive.set(active);
    };
    coordinator.onMediaCaptureRequested = [weakSelf] {
        auto self = weakSelf.lock();
        if (self && self->onMediaCaptureRequested)
            self->onMediaCaptureRequested();
    };
}

void MainWebViewModel::unreadCountReported(const ProfileId& profileId, int count, bool baseline) {
    const int value = std::max(count, 0);
    auto counts = unreadCounts();
    if (auto it = counts.find(profileId); it != counts.end() && it->second == value)
        return;
    // The store's copy, so that a renamed profile's notification carries its present name.
    const auto& profiles = m_profileStore.profiles();
    const auto stored = std::find_if(profiles.begin(), profiles.end(),
                                     [&](const Profile& candidate) { return candidate.id == profileId; });
    if (stored == profiles.end() && profileId != m_coordinator->profile().id)
        return;
    const Profile profile = stored != profiles.end() ? *stored : m_coordinator->profile();
    counts[profileId] = value;
    unreadCounts.set(std::move(counts));
    if (profileId == m_coordinator->profile().id)
        unreadCount.set(value);
    if (baseline)
        m_notificationService.rebaseUnread(profile, value);
    else
        m_notificationService.notifyUnread(profile, value);
}

std::optional<int> MainWebViewModel::knownUnreadCount(const ProfileId& profileId) const {
    const auto& counts = unreadCounts();
    const auto known = counts.find(profileId);
    return known == counts.end() ? std::nullopt : std::optional<int>(known->second);
}

std::shared_ptr<OrviWebCoordinator> MainWebViewModel::backgroundSupervisor(const ProfileId& profileId) const {
    const auto found = m_background.find(profileId);
    return found == m_background.end() ? nullptr : found->second;
}

std::vector<std::pair<ProfileId, std::shared_ptr<engine::WebView>>> MainWebViewModel::livePages() const {
    std::vector<std::pair<ProfileId, std::shared_ptr<engine::WebView>>> pages;
    if (auto webView = m_coordinator->currentWebView())
        pages.emplace_back(m_context.sessions.owner(*webView).value_or(m_coordinator->profile().id), webView);
    for (const auto& [profileId, supervisor] : m_background)
        if (auto webView = supervisor->currentWebView())
            pages.emplace_back(profileId, webView);
    return pages;
}

void MainWebViewModel::sendToBackground(const std::shared_ptr<OrviWebCoordinator>& leaving) {
    auto webView = leaving->currentWebView();
    if (!webView)
        return;
    leaving->detach(webView);
    const ProfileId& profileId = leaving->profile().id;
    // A page that carries another profile's session is that profile's business, not this one's.
    if (m_context.sessions.owner(*webView).value_or(profileId) != profileId)
        return;
    startSupervising(leaving->profile(), webView, leaving->documentSettlesAt());
}

std::shared_ptr<OrviWebCoordinator>
MainWebViewModel::superviseInBackground(const Profile& profile,
                                        const std::shared_ptr<engine::WebView>& webView) {
    if (!webView || profile.id == m_coordinator->profile().id)
        return nullptr;
    return startSupervising(profile, webView, std::nullopt);
}

std::shared_ptr<OrviWebCoordinator>
MainWebViewModel::startSupervising(const Profile& profile, const std::shared_ptr<engine::WebView>& webView,
                                   std::optional<Clock::time_point> documentSettlesAt) {
    auto supervisor = m_makeCoordinator(profile);
    supervisor->adoptUnreadCount(knownUnreadCount(profile.id));
    supervisor->adoptDocumentSettling(documentSettlesAt);
    installUnreadCallbacks(*supervisor);
    supervisor->superviseInBackground(webView);
    m_background[profile.id] = supervisor;
    m_backgroundSince[profile.id] = m_context.scheduler.now();
    setHibernated(profile.id, false);
    armHibernation(profile.id);
    return supervisor;
}

void MainWebViewModel::takeFromBackground(const ProfileId& profileId) {
    m_hibernationTimers.erase(profileId);
    m_backgroundSince.erase(profileId);
    // Selecting a hibernated profile builds its page again; from then on it is live.
    setHibernated(profileId, false);
    const auto found = m_background.find(profileId);
    if (found == m_background.end())
        return;
    if (auto webView = found->second->currentWebView())
        found->second->detach(webView);
    m_background.erase(found);
}

void MainWebViewModel::setWebViewFactory(std::shared_ptr<WebViewFactoryProtocol> factory) {
    m_webViewFactory = std::move(factory);
    for (const auto& [profileId, supervisor] : m_background)
        armHibernation(profileId);
}

void MainWebViewModel::setHibernateAfter(std::optional<Duration> delay) {
    m_hibernateAfter = delay;
    for (const auto& [profileId, supervisor] : m_background)
        armHibernation(profileId);
}

void MainWebViewModel::armHibernation(const ProfileId& profileId) {
    m_hibernationTimers.erase(profileId);
    const auto since = m_backgroundSince.find(profileId);
    if (!m_hibernateAfter || !m_webViewFactory || since == m_backgroundSince.end())
        return;
    const Duration spent = m_context.scheduler.now() - since->second;
    const Duration remaining = std::max(Duration::zero(), *m_hibernateAfter - spent);
    std::weak_ptr<MainWebViewModel> weakSelf = weak_from_this();
    m_hibernationTimers[profileId] = m_context.scheduler.startTimer(remaining, [weakSelf, profileId] {
        if (auto self = weakSelf.lock())
            self->hibernate(profileId);
    });
}

void MainWebViewModel::hibernate(const ProfileId& profileId) {
    m_hibernationTimers.erase(profileId);
    const auto found = m_background.find(profileId);
    if (found == m_background.end())
        return;
    auto supervisor = found->second;
    auto webView = supervisor->currentWebView();
    // Dropping the page would end the call; it gets another full period instead.
    if (webView && supervisor->hasActiveCall()) {
        m_backgroundSince[profileId] = m_context.scheduler.now();
        armHibernation(profileId);
        return;
    }
    logLine("💤 Hibernating background profile: " + profileId.text());
    std::weak_ptr<MainWebViewModel> weakSelf = weak_from_this();
    std::weak_ptr<OrviWebCoordinator> weakSupervisor = supervisor;
    auto drop = [weakSelf, weakSupervisor, profileId] {
        auto self = weakSelf.lock();
        auto supervisor = weakSupervisor.lock();
        if (self && supervisor)
            self->dropHibernatedPage(profileId, supervisor);
    };
    // The web view goes only once its session is saved: what the page changed since the last
    // periodic save would otherwise be lost with it.
    if (webView && m_sessionSync && m_context.sessions.isSessionLive(*webView)) {
        logLine("   💾 Saving cookies and storage before dropping the page");
        m_sessionSync.cookieJar->saveCookies(profileId, webView->sharedDataStore());
        m_sessionSync.storage->saveStorage(profileId, webView, std::move(drop));
        return;
    }
    drop();
}

void MainWebViewModel::dropHibernatedPage(const ProfileId& profileId,
                                          const std::shared_ptr<OrviWebCoordinator>& supervisor) {
    const auto found = m_background.find(profileId);
    // The user came back to the profile while its session was being saved.
    if (found == m_background.end() || found->second != supervisor)
        return;
    if (auto webView = supervisor->currentWebView())
        supervisor->detach(webView, false);
    m_background.erase(found);
    m_backgroundSince.erase(profileId);
    m_webViewFactory->removeWebView(profileId);
    setHibernated(profileId, true);
    logLine("   ✅ Background profile hibernated: " + profileId.text());
}

void MainWebViewModel::setHibernated(const ProfileId& profileId, bool hibernated) {
    auto profiles = hibernatedProfiles();
    if (hibernated ? !profiles.insert(profileId).second : profiles.erase(profileId) == 0)
        return;
    hibernatedProfiles.set(std::move(profiles));
}

void MainWebViewModel::activeProfileChanged(const Profile& profile) {
    if (profile.id == m_lastObservedProfileId)
        return;
    m_lastObservedProfileId = profile.id;
    switchProfile(profile);
}

void MainWebViewModel::switchProfile(const Profile& profile) {
    if (m_coordinator->profile().id == profile.id)
        return;
    if (m_isSwitchingProfile) {
        // Dropping the change would leave the page on a profile the rest of the application
        // no longer shows as active; it is carried out when the guard clears.
        logLine("⚠️ Profile switch already in progress, skipping");
        m_switchDeferred = true;
        return;
    }
    m_isSwitchingProfile = true;
    logLine("🔄 Switching profile from " + m_coordinator->profile().id.text() + " to " + profile.id.text());

    unreadCount.set(knownUnreadCount(profile.id).value_or(0));

    sendToBackground(m_coordinator);
    const auto waiting = backgroundSupervisor(profile.id);
    const auto settlesAt = waiting ? waiting->documentSettlesAt() : std::nullopt;
    takeFromBackground(profile.id);
    m_coordinator = m_makeCoordinator(profile);
    m_coordinator->adoptUnreadCount(knownUnreadCount(profile.id));
    m_coordinator->adoptDocumentSettling(settlesAt);
    installCallbacks(*m_coordinator);
    if (pageTrouble())
        pageTrouble.set(std::nullopt);
    logLine("   ✅ Created new coordinator for profile: " + profile.id.text());
    logLine(
        "   💡 WebView will be updated via updateNSView/updateUIView, which will restore cookies and storage");
    m_coordinatorChanged.emit(m_coordinator);

    std::weak_ptr<MainWebViewModel> weakSelf = weak_from_this();
    m_switchGuard = m_context.scheduler.startTimer(kSwitchGuard, [weakSelf] {
        if (auto self = weakSelf.lock())
            self->switchGuardCleared();
    });
}

void MainWebViewModel::switchGuardCleared() {
    m_isSwitchingProfile = false;
    if (!std::exchange(m_switchDeferred, false))
        return;
    if (activeProfile().id != m_coordinator->profile().id)
        switchProfile(activeProfile());
}

void MainWebViewModel::exportToFile(std::function<void(std::optional<std::filesystem::path>)> completion) {
    auto webView = m_coordinator->currentWebView();
    if (!webView) {
        logLine("   ❌ No WebView available for export");
        completion(std::nullopt);
        return;
    }
    if (!m_sessionExport) {
        logLine("   ❌ No cookieManager available");
        completion(std::nullopt);
        return;
    }
    const auto owner = m_context.sessions.owner(*webView).value_or(m_coordinator->profile().id);
    m_sessionExport->exportToFile(owner, webView->sharedDataStore(), webView, std::move(completion));
}

void MainWebViewModel::suspendNetworkActivityIfIdle() {
    if (isCallActive() || isNetworkSuspended())
        return;
    auto webView = m_coordinator->currentWebView();
    if (!webView)
        return;
    isNetworkSuspended.set(true);
    webView->stopLoading();
    webView->loadHTMLString(kParkedPage, "");
    logLine("🔒 ORVI network suspended while app is in background");
}

void MainWebViewModel::resumeNetworkActivityIfNeeded(ForceReload forceReload) {
    if (!isNetworkSuspended() && forceReload == ForceReload::no)
        return;
    auto webView = m_coordinator->currentWebView();
    if (!webView)
        return;
    isNetworkSuspended.set(false);
    webView->load(engine::Request{
        m_context.domains.serviceOrigin(), {}, engine::CachePolicy::useProtocolCachePolicy, kResumeTimeout});
    logLine("🔓 ORVI network resumed in foreground");
}

void MainWebViewModel::forgetProfile(const ProfileId& profileId) {
    m_hibernationTimers.erase(profileId);
    m_backgroundSince.erase(profileId);
    setHibernated(profileId, false);
    if (const auto found = m_background.find(profileId); found != m_background.end()) {
        if (auto webView = found->second->currentWebView())
            found->second->detach(webView, false);
        m_background.erase(found);
    }
    auto counts = unreadCounts();
    if (counts.erase(profileId))
        unreadCounts.set(std::move(counts));
}

} // namespace orvi
