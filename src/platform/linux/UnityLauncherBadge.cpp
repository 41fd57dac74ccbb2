#include "platform/linux/UnityLauncherBadge.h"

#include "core/base/Log.h"

#include <algorithm>

namespace orvi::platform {

namespace {

constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="com.canonical.Unity.LauncherEntry">
    <method name="Query">
      <arg type="s" name="app_uri" direction="out"/>
      <arg type="a{sv}" name="properties" direction="out"/>
    </method>
    <signal name="Update">
      <arg type="s" name="app_uri"/>
      <arg type="a{sv}" name="properties"/>
    </signal>
  </interface>
</node>)xml";

} // namespace

UnityLauncherBadge::UnityLauncherBadge(GDBusConnection* connection, const std::string& desktopId)
    : m_connection(G_DBUS_CONNECTION(g_object_ref(connection))), m_appUri("application://" + desktopId),
      // The path libunity derives from the URI; docks listen to every path, but keeping the
      // convention lets two entries of one process stay apart.
      m_objectPath("/com/canonical/unity/launcherentry/" + std::to_string(g_str_hash(m_appUri.c_str()))) {
    static const GDBusInterfaceVTable vtable{&UnityLauncherBadge::onMethodCall, nullptr, nullptr, {}};
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    GError* error = nullptr;
    m_registration = g_dbus_connection_register_object(m_connection, m_objectPath.c_str(),
                                                       node->interfaces[0], &vtable, this, nullptr, &error);
    g_dbus_node_info_unref(node);
    if (!m_registration) {
        Log::line(std::string("⚠️ Launcher badge query object not exported: ") + error->message);
        g_error_free(error);
    }
}

UnityLauncherBadge::~UnityLauncherBadge() {
    if (m_registration)
        g_dbus_connection_unregister_object(m_connection, m_registration);
    g_object_unref(m_connection);
}

GVariant* UnityLauncherBadge::properties() const {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&builder, "{sv}", "count", g_variant_new_int64(m_count));
    g_variant_builder_add(&builder, "{sv}", "count-visible", g_variant_new_boolean(m_count > 0));
    return g_variant_builder_end(&builder);
}

void UnityLauncherBadge::setCount(std::int64_t count) {
    m_count = std::max<std::int64_t>(count, 0);
    GError* error = nullptr;
    if (!g_dbus_connection_emit_signal(m_connection, nullptr, m_objectPath.c_str(), kInterface, "Update",
                                       g_variant_new("(s@a{sv})", m_appUri.c_str(), properties()), &error)) {
        Log::line(std::string("❌ Launcher badge update failed: ") + error->message);
        g_error_free(error);
    }
}

void UnityLauncherBadge::onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                      const gchar* method, GVariant*, GDBusMethodInvocation* invocation,
                                      gpointer self) {
    auto* badge = static_cast<UnityLauncherBadge*>(self);
    if (g_strcmp0(method, "Query") == 0) {
        g_dbus_method_invocation_return_value(
            invocation, g_variant_new("(s@a{sv})", badge->m_appUri.c_str(), badge->properties()));
        return;
    }
    g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.UnknownMethod",
                                               "Unknown method");
}

} // namespace orvi::platform
