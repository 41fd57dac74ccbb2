#include "RecordingNotificationServer.h"

#include "DBusTestSupport.h"

namespace orvi::test {

namespace {

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
    <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
  </interface>
</node>)xml";

constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kName = "org.freedesktop.Notifications";

} // namespace

RecordingNotificationServer::RecordingNotificationServer() : m_connection(newBusConnection()) {}

RecordingNotificationServer::~RecordingNotificationServer() {
    if (m_owner)
        g_bus_unown_name(m_owner);
    if (m_registration)
        g_dbus_connection_unregister_object(m_connection, m_registration);
    g_object_unref(m_connection);
}

bool RecordingNotificationServer::start() {
    static const GDBusInterfaceVTable vtable{
        &RecordingNotificationServer::onMethodCall, nullptr, nullptr, {}};
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    m_registration = g_dbus_connection_register_object(m_connection, kPath, node->interfaces[0], &vtable,
                                                       this, nullptr, nullptr);
    g_dbus_node_info_unref(node);
    m_owner = g_bus_own_name_on_connection(
        m_connection, kName, G_BUS_NAME_OWNER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, gpointer self) {
            static_cast<RecordingNotificationServer*>(self)->m_owned = true;
        },
        nullptr, this, nullptr);
    return m_registration && waitUntil([this] { return m_owned; });
}

void RecordingNotificationServer::invokeAction(guint32 id, const std::string& actionKey) {
    g_dbus_connection_emit_signal(m_connection, nullptr, kPath, kName, "ActionInvoked",
                                  g_variant_new("(us)", id, actionKey.c_str()), nullptr);
    g_dbus_connection_flush_sync(m_connection, nullptr, nullptr);
}

void RecordingNotificationServer::onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                               const gchar* method, GVariant* parameters,
                                               GDBusMethodInvocation* invocation, gpointer self) {
    auto* server = static_cast<RecordingNotificationServer*>(self);
    if (g_str_equal(method, "Notify")) {
        Notify n;
        const char *summary, *body;
        g_autoptr(GVariantIter) actions = nullptr;
        g_variant_get(parameters, "(&su&s&s&sas@a{sv}i)", nullptr, &n.replacesId, nullptr, &summary, &body,
                      &actions, nullptr, nullptr);
        n.summary = summary;
        n.body = body;
        const char* action = nullptr;
        while (g_variant_iter_next(actions, "&s", &action))
            n.actions.emplace_back(action);
        n.id = n.replacesId ? n.replacesId : server->m_nextId++;
        server->m_notifications.push_back(n);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", n.id));
    } else {
        guint32 id = 0;
        g_variant_get(parameters, "(u)", &id);
        server->m_closed.push_back(id);
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }
}

} // namespace orvi::test
