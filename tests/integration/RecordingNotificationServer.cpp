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
    <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
  </interface>
</node>)xml";

constexpr const char* kPath = "/org/freedesktop/Notifications";

} // namespace

RecordingNotificationServer::RecordingNotificationServer() : m_connection(newBusConnection()) {}

RecordingNotificationServer::~RecordingNotificationServer() {
    if (m_owner)
        g_bus_unown_name(m_owner);
    m_export.reset();
    g_object_unref(m_connection);
}

bool RecordingNotificationServer::start() {
    m_export =
        std::make_unique<platform::DBusObjectExport>(m_connection, kPath, kIntrospection, &onMethodCall,
                                                     nullptr, this, "❌ Recording server not exported: ");
    m_owner = ownName(m_connection, "org.freedesktop.Notifications");
    return m_export->isExported() && m_owner;
}

void RecordingNotificationServer::invokeAction(guint32 id, const std::string& actionKey) {
    m_export->emitSignal("ActionInvoked", g_variant_new("(us)", id, actionKey.c_str()));
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
