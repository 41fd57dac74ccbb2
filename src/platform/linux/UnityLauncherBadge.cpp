#include "platform/linux/UnityLauncherBadge.h"

#include "core/base/Log.h"

#include <algorithm>

namespace orvi::platform {

namespace {

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
    : m_appUri("application://" + desktopId),
      // The path libunity derives from the URI; docks listen to every path, but keeping the
      // convention lets two entries of one process stay apart.
      m_object(connection,
               "/com/canonical/unity/launcherentry/" + std::to_string(g_str_hash(m_appUri.c_str())),
               kIntrospection, &UnityLauncherBadge::onMethodCall, nullptr, this,
               "⚠️ Launcher badge query object not exported: ") {}

UnityLauncherBadge::~UnityLauncherBadge() = default;

GVariant* UnityLauncherBadge::properties() const {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&builder, "{sv}", "count", g_variant_new_int64(m_count));
    g_variant_builder_add(&builder, "{sv}", "count-visible", g_variant_new_boolean(m_count > 0));
    return g_variant_builder_end(&builder);
}

void UnityLauncherBadge::setCount(std::int64_t count) {
    m_count = std::max<std::int64_t>(count, 0);
    // Docks follow the signal even when the query object could not be exported.
    if (auto error =
            m_object.emitSignal("Update", g_variant_new("(s@a{sv})", m_appUri.c_str(), properties())))
        Log::line("❌ Launcher badge update failed: " + *error);
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
