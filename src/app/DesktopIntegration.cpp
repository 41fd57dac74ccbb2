#include "app/DesktopIntegration.h"

#include "core/base/Log.h"
#include "platform/linux/OrviApplicationInfo.h"

#include <set>

namespace orvi::app {

namespace {

// Sizes panels ask for: 16 and 22 on most, 24 and 32 on scaled ones, 48 for hosts that scale.
const std::vector<int> kTrayIconSizes{16, 22, 24, 32, 48};

// Docks and badges are matched to the application through its .desktop file.
std::string desktopFileId() {
    return std::string(platform::kApplicationId) + ".desktop";
}

// Stands in when the application has no session bus: counts are kept, nothing is shown.
class NoLauncherBadge final : public platform::LauncherBadge {
public:
    void setCount(std::int64_t) override {}
};

} // namespace

DesktopIntegration::DesktopIntegration(Gtk::Application& application, Scheduler& scheduler,
                                       WindowAccess window)
    : m_application(application), m_window(std::move(window)) {
    // Notification servers show this as the sender.
    Glib::set_application_name(platform::kApplicationName);
    GApplication* gApplication = G_APPLICATION(application.gobj());
    m_notifier = std::make_unique<platform::DesktopNotifier>(gApplication);
    GDBusConnection* bus = g_application_get_dbus_connection(gApplication);
    if (bus) {
        m_badge = std::make_unique<platform::UnityLauncherBadge>(bus, desktopFileId());
    } else {
        logLine("⚠️ No session bus: no launcher badge and no tray item");
        m_badge = std::make_unique<NoLauncherBadge>();
    }
    m_notificationService = std::make_unique<NotificationService>(scheduler, *m_notifier, *m_badge);
    m_notificationDelegate =
        std::make_unique<NotificationDelegate>(scheduler, *m_notifier, [this] { presentMainWindow(); });
    m_cancellables.push_back(m_notificationService->subscribeToUnreadCounts([this] { showUnreadInTitle(); }));
}

void DesktopIntegration::onFirstAppearance(ProfileStoreProtocol& profileStore) {
    m_notificationDelegate->setProfileStore(&profileStore);
    m_notificationService->requestPermissionIfNeeded();

    GDBusConnection* bus = g_application_get_dbus_connection(G_APPLICATION(m_application.gobj()));
    if (bus && !m_statusItem) {
        m_statusItem = std::make_unique<platform::StatusNotifierItem>(
            bus, platform::StatusNotifierItem::Appearance{
                     platform::kApplicationId, platform::kApplicationName, platform::kApplicationId,
                     platform::AppIcon::pixmaps(kTrayIconSizes)});
        m_statusBarController.setup(*m_statusItem, profileStore, *m_notificationService,
                                    {[this] { presentMainWindow(); }, m_window.quit}, m_quietRules);
    }

    m_cancellables.push_back(profileStore.subscribeToProfiles([this](const std::vector<Profile>& profiles) {
        std::set<ProfileId> existing;
        for (const auto& profile : profiles)
            existing.insert(profile.id);
        m_notificationService->retainProfiles(existing);
    }));
    showUnreadInTitle();
}

void DesktopIntegration::presentMainWindow() {
    if (auto* window = m_window.mainWindow())
        window->present();
}

void DesktopIntegration::showUnreadInTitle() {
    if (auto* window = m_window.mainWindow())
        window->set_title(NotificationService::windowTitle(m_notificationService->totalUnreadCount()));
}

} // namespace orvi::app
