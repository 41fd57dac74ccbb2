#pragma once

#include "core/notify/NotificationDelegate.h"
#include "core/notify/NotificationQuietRules.h"
#include "core/notify/NotificationService.h"
#include "core/notify/StatusBarController.h"
#include "core/profiles/ProfileStoreProtocol.h"
#include "platform/linux/DesktopNotifier.h"
#include "platform/linux/StatusNotifierItem.h"
#include "platform/linux/UnityLauncherBadge.h"

#include <functional>
#include <gtkmm.h>
#include <memory>
#include <vector>

namespace orvi::app {

// The application's presence on the desktop beyond its window: unread notifications and
// their clicks, the launcher badge with the count in the window title, and the tray item.
// Built at start-up, once the application is registered on the session bus.
class DesktopIntegration {
public:
    struct WindowAccess {
        // The main window while it is open, else null.
        std::function<Gtk::Window*()> mainWindow;
        std::function<void()> quit;
    };

    DesktopIntegration(Gtk::Application& application, Scheduler& scheduler, WindowAccess window);
    DesktopIntegration(const DesktopIntegration&) = delete;
    DesktopIntegration& operator=(const DesktopIntegration&) = delete;

    // What the main view model reports unread counts to.
    NotificationService& notificationService() { return *m_notificationService; }
    // Offered in the tray menu; set before the first appearance.
    void setQuietRules(NotificationQuietRules* quietRules) { m_quietRules = quietRules; }
    // Marked in the tray menu as asleep.
    void showHibernated(Published<std::set<ProfileId>>& hibernated) {
        m_statusBarController.showHibernated(hibernated);
    }

    // The window's first appearance: clicks start switching profiles, notification permission
    // is asked, the tray item appears, and a deleted profile's count leaves every total.
    void onFirstAppearance(ProfileStoreProtocol& profileStore);

private:
    void presentMainWindow();
    void showUnreadInTitle();

    Gtk::Application& m_application;
    WindowAccess m_window;
    std::unique_ptr<platform::DesktopNotifier> m_notifier;
    std::unique_ptr<platform::LauncherBadge> m_badge;
    std::unique_ptr<NotificationService> m_notificationService;
    NotificationQuietRules* m_quietRules = nullptr;
    std::unique_ptr<NotificationDelegate> m_notificationDelegate;
    std::unique_ptr<platform::StatusNotifierItem> m_statusItem;
    StatusBarController m_statusBarController;
    std::vector<Connection> m_cancellables;
};

} // namespace orvi::app
