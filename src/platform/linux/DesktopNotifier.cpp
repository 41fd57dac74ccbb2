#include "platform/linux/DesktopNotifier.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace orvi::platform {

namespace {

constexpr const char* kDefaultActionName = "notification-default";
constexpr const char* kPortalBusName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalObjectPath = "/org/freedesktop/portal/desktop";
constexpr const char* kPortalNotificationInterface = "org.freedesktop.portal.Notification";

bool detectSandbox() {
    return std::filesystem::exists("/.flatpak-info") || std::getenv("SNAP") != nullptr;
}

} // namespace

DesktopNotifier::DesktopNotifier(GApplication* application, Sandbox sandbox)
    : m_application(G_APPLICATION(g_object_ref(application))),
      m_sandboxed(sandbox == Sandbox::Detect ? detectSandbox() : sandbox == Sandbox::Sandboxed) {
    ensureAction(kDefaultActionIdentifier);
}

DesktopNotifier::~DesktopNotifier() {
    for (std::size_t i = 0; i < m_actions.size(); ++i) {
        g_signal_handler_disconnect(m_actions[i], m_handlers[i]);
        g_action_map_remove_action(G_ACTION_MAP(m_application), g_action_get_name(G_ACTION(m_actions[i])));
        g_object_unref(m_actions[i]);
    }
    g_object_unref(m_application);
}

std::string DesktopNotifier::actionNameFor(const std::string& actionIdentifier) {
    if (actionIdentifier == kDefaultActionIdentifier)
        return kDefaultActionName;
    std::string name;
    for (char c : actionIdentifier) {
        const auto u = static_cast<unsigned char>(c);
        name += std::isalnum(u) ? static_cast<char>(std::tolower(u)) : '-';
    }
    return name;
}

std::string DesktopNotifier::escapeMarkup(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

void DesktopNotifier::ensureAction(const std::string& actionIdentifier) {
    const auto name = actionNameFor(actionIdentifier);
    if (!m_actionNames.insert(name).second)
        return;
    auto* action = g_simple_action_new(name.c_str(), G_VARIANT_TYPE_STRING);
    g_object_set_data_full(G_OBJECT(action), "orvi-action-identifier", g_strdup(actionIdentifier.c_str()),
                           g_free);
    m_handlers.push_back(
        g_signal_connect(action, "activate", G_CALLBACK(&DesktopNotifier::onActivate), this));
    m_actions.push_back(action);
    g_action_map_add_action(G_ACTION_MAP(m_application), G_ACTION(action));
}

void DesktopNotifier::onActivate(GSimpleAction* action, GVariant* parameter, gpointer self) {
    auto* notifier = static_cast<DesktopNotifier*>(self);
    NotificationResponse response;
    response.actionIdentifier =
        static_cast<const char*>(g_object_get_data(G_OBJECT(action), "orvi-action-identifier"));
    if (parameter && g_variant_is_of_type(parameter, G_VARIANT_TYPE_STRING))
        response.target = g_variant_get_string(parameter, nullptr);
    notifier->m_responses.emit(response);
}

void DesktopNotifier::requestAuthorization(AuthorizationCompletion completion) {
    if (!m_sandboxed) {
        // Outside a sandbox the desktop offers no consent step: notifications are shown
        // unless the user has muted the application in the desktop's own settings.
        completion(true, std::nullopt);
        return;
    }
    // The portal keeps the user's choice to itself; what a sandboxed application can learn is
    // whether the portal that would ask is there to take notifications at all.
    GDBusConnection* connection = g_application_get_dbus_connection(m_application);
    if (!connection) {
        completion(false, std::string("the application is not connected to the session bus"));
        return;
    }
    auto* holder = new AuthorizationCompletion(std::move(completion));
    g_dbus_connection_call(
        connection, kPortalBusName, kPortalObjectPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kPortalNotificationInterface, "version"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<AuthorizationCompletion> done(static_cast<AuthorizationCompletion*>(data));
            GError* error = nullptr;
            GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            if (reply) {
                g_variant_unref(reply);
                (*done)(true, std::nullopt);
                return;
            }
            std::string message = error->message;
            g_error_free(error);
            (*done)(false, message);
        },
        holder);
}

void DesktopNotifier::post(const Notification& notification, PostCompletion completion) {
    if (!g_application_get_is_registered(m_application)) {
        completion(std::string("the application is not registered on the session bus"));
        return;
    }
    // freedesktop notifications have a summary and a body only, so the subtitle leads the body.
    std::string body = escapeMarkup(notification.subtitle);
    if (!notification.body.empty())
        body += (body.empty() ? "" : "\n") + escapeMarkup(notification.body);

    GNotification* n = g_notification_new(notification.title.c_str());
    g_notification_set_body(n, body.c_str());
    GIcon* icon = g_themed_icon_new(g_application_get_application_id(m_application));
    g_notification_set_icon(n, icon);
    g_object_unref(icon);
    const auto defaultAction = "app." + actionNameFor(kDefaultActionIdentifier);
    g_notification_set_default_action_and_target(n, defaultAction.c_str(), "s", notification.target.c_str());
    for (const auto& button : notification.buttons) {
        ensureAction(button.actionIdentifier);
        const auto action = "app." + actionNameFor(button.actionIdentifier);
        g_notification_add_button_with_target(n, button.title.c_str(), action.c_str(), "s",
                                              notification.target.c_str());
    }
    g_application_send_notification(m_application, notification.identifier.c_str(), n);
    g_object_unref(n);
    // GIO hands the notification to the desktop without reporting back; what can fail on our
    // side (no bus registration) was checked above.
    completion(std::nullopt);
}

void DesktopNotifier::withdraw(const std::string& identifier) {
    if (g_application_get_is_registered(m_application))
        g_application_withdraw_notification(m_application, identifier.c_str());
}

} // namespace orvi::platform
