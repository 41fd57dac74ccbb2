#pragma once

#include "core/env/VPNDetectionService.h"
#include "core/notify/NotificationService.h"
#include "core/page/DownloadStatus.h"
#include "core/page/PageDownloads.h"
#include "core/page/PageHost.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewFactory.h"
#include "core/page/WebViewSessions.h"
#include "core/prefs/ForgettingPreferencesStore.h"
#include "core/profiles/ProfileStore.h"
#include "core/session/BrowserCookieImport.h"
#include "core/session/ContainerArchive.h"
#include "core/session/CookieJarSync.h"
#include "core/session/ProfileDeletionCleaner.h"
#include "core/session/SessionExport.h"
#include "core/session/SessionImport.h"
#include "core/session/StorageSnapshotSync.h"
#include "core/shell/MainWebViewModel.h"
#include "core/shell/SettingsViewModel.h"
#include "core/shell/StartupPageLoading.h"
#include "core/shell/TerminationSave.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "engine/webkit/WebKitEngine.h"
#include "platform/Paths.h"
#include "platform/linux/GdkClipboard.h"
#include "platform/linux/GtkFileSaving.h"
#include "platform/linux/SecretServiceKeyring.h"

#include <gtkmm.h>
#include <memory>

namespace orvi::app {

// The part of the object graph that puts the active profile's page on screen and keeps its
// session, built once at start-up.
class PageServices {
public:
    PageServices(Scheduler& scheduler, PreferencesStore& preferences, ProfileStore& profileStore,
                 NotificationService& notificationService, const platform::Paths& paths, OrviDomains domains,
                 std::optional<std::string> proxy);

    PageHost::Context hostContext();
    // For web views made from now on (the rendering choice made at start).
    void setAcceleratedCompositing(bool enabled) { m_engine.setAcceleratedCompositing(enabled); }
    // Starts the web process of the page the window will show, before the window is built.
    void prewarmActivePage();
    // `onVPNWarning` runs when a load stops at the VPN gate and asks for the warning.
    PageLoader::Options loadOptions(std::function<void()> onVPNWarning);
    // Loads the other profiles' pages once the page on screen has loaded (when the user
    // keeps that setting on); `placement` is the main window's.
    void startBackgroundLoading(ProfileStoreProtocol& profileStore,
                                std::shared_ptr<const WebViewPlacement> placement);
    TerminationSave::Hook terminationHook();

private:
    Scheduler& m_scheduler;
    PreferencesStore& m_preferences;
    OrviDomains m_domains;
    // Every saver writes through this view, so a deleted profile's session stays deleted.
    ForgettingPreferencesStore m_sessionPreferences;
    WebViewSessions m_sessions;
    engine::webkit::WebKitEngine m_engine;
    // Downloads outlive every coordinator that hands them files, and die before the engine
    // whose downloads they cancel.
    std::function<Gtk::Window*()> m_dialogParent;
    std::shared_ptr<platform::GtkFileSaving> m_fileSaving;
    std::unique_ptr<PageDownloads> m_downloads;
    Signal<std::optional<StatusLine>> m_statusLines;
    Connection m_downloadEvents;
    bool m_callsUnavailableSaid = false;

    std::shared_ptr<const platform::NetworkEnvironment> m_networkEnvironment;
    std::shared_ptr<VPNDetectionService> m_vpnDetectionService;
    std::shared_ptr<SettingsViewModel> m_settingsViewModel;
    std::shared_ptr<NavigationPolicyService> m_navigationPolicyService;
    std::shared_ptr<UnreadDetectionService> m_unreadDetectionService;
    // Owned by the desktop integration, which shows what it counts.
    NotificationService& m_notificationService;
    std::shared_ptr<CookieJarSync> m_cookieJarSync;
    std::shared_ptr<StorageSnapshotSync> m_storageSnapshotSync;
    std::shared_ptr<SessionExport> m_sessionExport;
    std::shared_ptr<SessionImport> m_sessionImport;
    std::shared_ptr<WebViewFactory> m_webViewFactory;
    std::shared_ptr<MainWebViewModel> m_mainWebViewModel;
    std::shared_ptr<StartupPageLoading> m_startupPageLoading;
    std::unique_ptr<ProfileDeletionCleaner> m_deletionCleaner;
    // What moves sessions between machines and from the browsers, for the settings screen and
    // the add-profile form.
    platform::GdkClipboard m_clipboard;
    platform::SecretServiceKeyring m_keyring;
    std::shared_ptr<ContainerArchive> m_containerArchive;
    std::shared_ptr<BrowserCookieImport> m_browserCookieImport;
    Connection m_externalLinksSetting;
    Connection m_hibernationSetting;

public:
    const std::shared_ptr<MainWebViewModel>& mainWebViewModel() const { return m_mainWebViewModel; }
    // The window save dialogs are shown over.
    void setDialogParent(std::function<Gtk::Window*()> parent) { m_dialogParent = std::move(parent); }
    PageDownloads& downloads() { return *m_downloads; }
    // What the window's status line shows: downloads, and calls being unavailable.
    [[nodiscard]] Connection
    subscribeStatusLines(std::function<void(const std::optional<StatusLine>&)> slot) {
        return m_statusLines.connect(std::move(slot));
    }
    const std::shared_ptr<ContainerArchive>& containerArchive() const { return m_containerArchive; }
    const std::shared_ptr<BrowserCookieImport>& browserCookieImport() const { return m_browserCookieImport; }
    const std::shared_ptr<SettingsViewModel>& settingsViewModel() const { return m_settingsViewModel; }
    const std::shared_ptr<WebViewFactory>& webViewFactory() const { return m_webViewFactory; }
    VPNDetectionServiceProtocol& vpnDetectionService() { return *m_vpnDetectionService; }
    engine::Engine& engine() { return m_engine; }
    const OrviDomains& domains() const { return m_domains; }
};

} // namespace orvi::app
