#pragma once

#include "core/env/VPNDetectionService.h"
#include "core/notify/NotificationService.h"
#include "core/page/PageHost.h"
#include "core/page/PendingPageMessages.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewFactory.h"
#include "core/page/WebViewSessions.h"
#include "core/prefs/ForgettingPreferencesStore.h"
#include "core/profiles/ProfileStore.h"
#include "core/session/CookieJarSync.h"
#include "core/session/ProfileDeletionCleaner.h"
#include "core/session/SessionExport.h"
#include "core/session/SessionImport.h"
#include "core/session/StorageSnapshotSync.h"
#include "core/shell/MainWebViewModel.h"
#include "core/shell/TerminationSave.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "engine/webkit/WebKitEngine.h"
#include "platform/Paths.h"

#include <gtkmm.h>
#include <memory>

namespace orvi::app {

// The part of the object graph that puts the active profile's page on screen and keeps its
// session, built once at start-up in the order the rest of the application relies on.
class PageServices {
public:
    PageServices(Scheduler& scheduler, PreferencesStore& preferences, ProfileStore& profileStore,
                 NotificationService& notificationService, const platform::Paths& paths, OrviDomains domains,
                 std::optional<std::string> proxy);

    PageHost::Context hostContext();
    PageLoader::Options loadOptions(Gtk::Window* parent);
    TerminationSave::Hook terminationHook();

private:
    Scheduler& m_scheduler;
    PreferencesStore& m_preferences;
    OrviDomains m_domains;
    // Every saver writes through this view, so a deleted profile's session stays deleted.
    ForgettingPreferencesStore m_sessionPreferences;
    WebViewSessions m_sessions;
    PendingPageMessages m_pendingMessages;
    engine::webkit::WebKitEngine m_engine;

    std::shared_ptr<VPNDetectionService> m_vpnDetectionService;
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
    std::unique_ptr<ProfileDeletionCleaner> m_deletionCleaner;

public:
    const std::shared_ptr<MainWebViewModel>& mainWebViewModel() const { return m_mainWebViewModel; }
    const std::shared_ptr<SessionExport>& sessionExport() const { return m_sessionExport; }
    const std::shared_ptr<SessionImport>& sessionImport() const { return m_sessionImport; }
};

} // namespace orvi::app
