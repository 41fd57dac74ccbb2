#include "app/PageServices.h"

#include "core/base/Log.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieEncryption.h"
#include "core/shell/ActiveSessionSave.h"
#include "platform/linux/GioUriLauncher.h"
#include "platform/linux/LinuxNetworkEnvironment.h"

#include <algorithm>
#include <cstdlib>

namespace orvi::app {

namespace {

constexpr const char* kRequestTimeoutLimitVariable = "ORVI_REQUEST_TIMEOUT_LIMIT";

} // namespace

PageServices::PageServices(Scheduler& scheduler, PreferencesStore& preferences, ProfileStore& profileStore,
                           NotificationService& notificationService, const platform::Paths& paths,
                           OrviDomains domains, std::optional<std::string> proxy)
    : m_scheduler(scheduler), m_preferences(preferences), m_domains(std::move(domains)),
      m_sessionPreferences(preferences),
      m_engine(paths.engineDataDir(), paths.engineCacheDir(), std::move(proxy)),
      m_notificationService(notificationService) {
    m_fileSaving = std::make_shared<platform::GtkFileSaving>(
        [this]() -> Gtk::Window* { return m_dialogParent ? m_dialogParent() : nullptr; });
    m_downloads = std::make_unique<PageDownloads>(m_fileSaving,
                                                  PageDownloads::Folders{paths.tempDir, paths.downloadsDir});
    m_downloadEvents = m_downloads->subscribe(
        [this](const DownloadEvent& event) { m_statusLines.emit(statusLineFor(event)); });
    auto encryption = std::make_shared<const CookieEncryption>();
    m_cookieJarSync = std::make_shared<CookieJarSync>(m_sessionPreferences, scheduler);
    m_storageSnapshotSync = std::make_shared<StorageSnapshotSync>(m_sessionPreferences, scheduler, m_domains);
    m_sessionExport = std::make_shared<SessionExport>(m_sessionPreferences, encryption, scheduler,
                                                      SessionEnvironment{paths.documentsDir, m_domains});
    m_sessionImport =
        std::make_shared<SessionImport>(m_sessionPreferences, encryption, scheduler, m_cookieJarSync);
    m_networkEnvironment = std::make_shared<platform::LinuxNetworkEnvironment>();
    m_vpnDetectionService = std::make_shared<VPNDetectionService>(m_networkEnvironment, scheduler);
    // Tests of a service that stops answering cannot wait out the real time-outs.
    if (const char* limit = std::getenv(kRequestTimeoutLimitVariable))
        m_engine.setRequestTimeoutLimit(std::max(0.0, std::atof(limit)));
    m_containerArchive = std::make_shared<ContainerArchive>(
        m_preferences, scheduler, m_clipboard,
        ContainerEnvironment{paths.documentsDir, paths.tempDir, paths.engineDataDir()});
    m_browserCookieImport = std::make_shared<BrowserCookieImport>(
        scheduler, *m_cookieJarSync,
        BrowserCookieSources{Glib::get_home_dir(), paths.tempDir,
                             [this] { return m_engine.defaultDataStore(); }, &m_keyring});
    m_settingsViewModel = SettingsViewModel::create(SettingsViewModel::Dependencies{
        m_preferences, scheduler, m_engine, m_domains, m_storageSnapshotSync, m_sessionExport,
        m_sessionImport, m_vpnDetectionService, m_containerArchive, m_browserCookieImport,
        [this](engine::WebView& webView) {
            // Built further down; imports start only once the window is up.
            if (m_webViewFactory)
                m_webViewFactory->renewStorageRestoreScript(webView);
        }});
    m_navigationPolicyService = std::make_shared<NavigationPolicyService>(
        m_domains, true, std::make_shared<platform::GioUriLauncher>());
    m_navigationPolicyService->setBlockExternalLinks(m_settingsViewModel->blockExternalLinks());
    m_externalLinksSetting = m_settingsViewModel->blockExternalLinks.subscribe(
        [policy = m_navigationPolicyService](bool block) { policy->setBlockExternalLinks(block); });
    m_unreadDetectionService = UnreadDetectionService::create();
    m_unreadDetectionService->setMessageGate(std::make_shared<PageMessageGate>(scheduler, m_domains));
    m_webViewFactory = std::make_shared<WebViewFactory>(m_engine, m_sessionPreferences, scheduler, m_domains);
    const SessionSync sessionSync{m_cookieJarSync, m_storageSnapshotSync};
    const CoordinatorContext coordinatorContext{
        scheduler,
        m_domains,
        m_sessions,
        *m_downloads,
        [&preferences] { return preferences.boolean(keys::kMediaPermissionsEnabled); },
        [this] {
            if (m_callsUnavailableSaid)
                return;
            m_callsUnavailableSaid = true;
            logLine("⚠️ Calls are unavailable in this engine build: it has no RTCPeerConnection");
            m_statusLines.emit(callsUnavailableStatusLine());
        },
        [environment = m_networkEnvironment](std::function<void()> slot) {
            return environment->subscribeToNetworkBack(std::move(slot));
        }};
    m_mainWebViewModel = MainWebViewModel::create(
        profileStore, sessionSync, m_sessionExport,
        MainWebViewModel::coordinatorFactory(m_navigationPolicyService, m_unreadDetectionService, sessionSync,
                                             coordinatorContext),
        m_notificationService, coordinatorContext);
    m_mainWebViewModel->setWebViewFactory(m_webViewFactory);
    m_mainWebViewModel->setHibernateAfter(
        SettingsViewModel::hibernationDelay(m_settingsViewModel->hibernateAfter()));
    m_hibernationSetting = m_settingsViewModel->hibernateAfter.subscribe(
        [model = std::weak_ptr<MainWebViewModel>(m_mainWebViewModel)](HibernateAfter choice) {
            if (auto locked = model.lock())
                locked->setHibernateAfter(SettingsViewModel::hibernationDelay(choice));
        });

    m_deletionCleaner = std::make_unique<ProfileDeletionCleaner>(
        profileStore,
        std::vector<ProfileDeletionCleaner::Forget>{
            [this](const ProfileId& id) { m_sessionPreferences.forgetProfile(id); },
            [this](const ProfileId& id) { m_sessions.forgetProfile(id); },
            [this](const ProfileId& id) { m_mainWebViewModel->forgetProfile(id); },
            [this](const ProfileId& id) { m_notificationService.forgetProfile(id); },
            [this](const ProfileId& id) { m_webViewFactory->removeWebView(id); },
            // The engine drops its session for the profile before deleting the folders, so a
            // session still alive cannot write data back into them.
            [this](const ProfileId& id) { m_engine.removeDataStore(id.text(), [](bool) {}); }},
        std::vector<std::filesystem::path>{});
}

PageHost::Context PageServices::hostContext() {
    auto factory = m_webViewFactory;
    return PageHost::Context{
        PageLoadContext{m_scheduler, m_preferences, m_domains, *m_vpnDetectionService, m_sessions},
        [factory](const Profile& profile, const std::optional<LocationSettings>& location) {
            return factory->makeWebView(profile, location);
        }};
}

void PageServices::prewarmActivePage() {
    PageHost::prewarm(*m_mainWebViewModel, hostContext());
}

PageLoader::Options PageServices::loadOptions(std::function<void()> onVPNWarning) {
    PageLoader::Options options;
    options.ignoreVPNWarning = m_settingsViewModel->ignoreVPNWarning();
    options.onVPNWarning = std::move(onVPNWarning);
    return options;
}

void PageServices::startBackgroundLoading(ProfileStoreProtocol& profileStore,
                                          std::shared_ptr<const WebViewPlacement> placement) {
    // No VPN warning for a page nobody looks at: a held load simply waits.
    m_startupPageLoading = StartupPageLoading::create(
        m_mainWebViewModel, profileStore,
        StartupPageLoading::Context{hostContext(), std::move(placement), [this] { return loadOptions({}); }});
    m_startupPageLoading->start();
}

TerminationSave::Hook PageServices::terminationHook() {
    return ActiveSessionSave::hook(*m_mainWebViewModel, m_sessions);
}

} // namespace orvi::app
