#pragma once

#include "platform/Notifier.h"

#include <gio/gio.h>
#include <set>
#include <string>

namespace orvi::platform {

// Notifications through GNotification, which talks to org.freedesktop.Notifications, to
// org.gtk.Notifications, or to the notification portal when sandboxed. The application must
// be registered on the session bus before anything is posted: GIO routes the clicks back
// through the application's actions.
class DesktopNotifier final : public Notifier {
public:
    enum class Sandbox { Detect, Sandboxed, NotSandboxed };

    // The default action and each button become application actions ("app.open-profile"
    // for "OPEN_PROFILE") taking the notification's target as a string parameter.
    explicit DesktopNotifier(GApplication* application, Sandbox sandbox = Sandbox::Detect);
    ~DesktopNotifier() override;
    DesktopNotifier(const DesktopNotifier&) = delete;
    DesktopNotifier& operator=(const DesktopNotifier&) = delete;

    void requestAuthorization(AuthorizationCompletion completion) override;
    void post(const Notification& notification, PostCompletion completion) override;
    void withdraw(const std::string& identifier) override;
    Signal<NotificationResponse>& responses() override { return m_responses; }

    // "OPEN_PROFILE" -> "open-profile": the application action a button is routed through.
    static std::string actionNameFor(const std::string& actionIdentifier);
    // The body of a freedesktop notification is markup: &, < and > must not reach it raw.
    static std::string escapeMarkup(const std::string& text);

private:
    void ensureAction(const std::string& actionIdentifier);
    static void onActivate(GSimpleAction* action, GVariant* parameter, gpointer self);

    GApplication* m_application;
    bool m_sandboxed;
    std::set<std::string> m_actionNames;
    std::vector<gulong> m_handlers;
    std::vector<GSimpleAction*> m_actions;
    Signal<NotificationResponse> m_responses;
};

} // namespace orvi::platform
