#include "platform/linux/StatusNotifierItem.h"

#include "core/base/Log.h"

#include <atomic>
#include <unistd.h>

namespace orvi::platform {

namespace {

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";
constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
// A watcher may own its name a moment before it exports its object.
constexpr int kRegistrationAttempts = 5;
constexpr guint kRegistrationRetryMs = 200;

constexpr const char* kIntrospection = R"xml(
<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="WindowId" type="i" access="read"/>
    <property name="IconThemePath" type="s" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="OverlayIconName" type="s" access="read"/>
    <property name="OverlayIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionIconName" type="s" access="read"/>
    <property name="AttentionIconPixmap" type="a(iiay)" access="read"/>
    <property name="AttentionMovieName" type="s" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <property name="Menu" type="o" access="read"/>
    <method name="ContextMenu">
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
    </method>
    <method name="Activate">
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
    </method>
    <method name="SecondaryActivate">
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
    </method>
    <method name="Scroll">
      <arg name="delta" type="i" direction="in"/>
      <arg name="orientation" type="s" direction="in"/>
    </method>
    <signal name="NewTitle"/>
    <signal name="NewIcon"/>
    <signal name="NewAttentionIcon"/>
    <signal name="NewOverlayIcon"/>
    <signal name="NewToolTip"/>
    <signal name="NewStatus">
      <arg name="status" type="s"/>
    </signal>
  </interface>
</node>)xml";

std::string nextBusName() {
    static std::atomic<int> instance{0};
    return "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" + std::to_string(++instance);
}

GVariant* emptyPixmaps() {
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
}

} // namespace

StatusNotifierItem::StatusNotifierItem(GDBusConnection* connection, Appearance appearance)
    : m_appearance(std::move(appearance)), m_busName(nextBusName()),
      m_menu(std::make_unique<DBusMenuExporter>(connection, kMenuPath)), m_cancellable(g_cancellable_new()),
      m_object(connection, kItemPath, kIntrospection, &StatusNotifierItem::onMethodCall,
               &StatusNotifierItem::onGetProperty, this, "❌ Tray item not exported: ") {
    if (!m_object.isExported())
        return;

    m_nameOwner = g_bus_own_name_on_connection(
        m_object.connection(), m_busName.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, gpointer self) {
            auto* item = static_cast<StatusNotifierItem*>(self);
            item->m_ownsName = true;
            item->registerWithWatcher();
        },
        [](GDBusConnection*, const gchar* name, gpointer self) {
            auto* item = static_cast<StatusNotifierItem*>(self);
            item->m_ownsName = false;
            Log::line(std::string("❌ Tray item could not own its bus name: ") + name);
        },
        this, nullptr);

    m_watcherWatch = g_bus_watch_name_on_connection(
        m_object.connection(), kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, gpointer self) {
            auto* item = static_cast<StatusNotifierItem*>(self);
            item->m_watcherPresent = true;
            item->m_failedAttempts = 0;
            item->registerWithWatcher();
        },
        [](GDBusConnection*, const gchar*, gpointer self) {
            auto* item = static_cast<StatusNotifierItem*>(self);
            item->m_watcherPresent = false;
            item->m_registered = false;
            Log::line(
                "⚠️ No StatusNotifierWatcher on the session bus; the tray item will register when one "
                "appears");
        },
        this, nullptr);
}

StatusNotifierItem::~StatusNotifierItem() {
    g_cancellable_cancel(m_cancellable);
    if (m_retrySource)
        g_source_remove(m_retrySource);
    if (m_watcherWatch)
        g_bus_unwatch_name(m_watcherWatch);
    if (m_nameOwner)
        g_bus_unown_name(m_nameOwner);
    m_menu.reset();
    g_object_unref(m_cancellable);
}

void StatusNotifierItem::registerWithWatcher() {
    if (!m_ownsName || !m_watcherPresent)
        return;
    g_dbus_connection_call(
        m_object.connection(), kWatcherName, kWatcherPath, kWatcherName, "RegisterStatusNotifierItem",
        g_variant_new("(s)", m_busName.c_str()), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, m_cancellable,
        [](GObject* source, GAsyncResult* result, gpointer self) {
            GError* error = nullptr;
            GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            if (!reply) {
                // A cancelled call means the item is gone: self must not be touched.
                if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
                    static_cast<StatusNotifierItem*>(self)->registrationFailed(error->message);
                g_error_free(error);
                return;
            }
            g_variant_unref(reply);
            static_cast<StatusNotifierItem*>(self)->m_failedAttempts = 0;
            static_cast<StatusNotifierItem*>(self)->m_registered = true;
            Log::line("✅ Tray item registered with the StatusNotifierWatcher");
        },
        this);
}

void StatusNotifierItem::registrationFailed(const std::string& message) {
    if (!m_watcherPresent)
        return;
    if (++m_failedAttempts >= kRegistrationAttempts) {
        Log::line("❌ Tray item registration failed: " + message);
        return;
    }
    if (m_retrySource)
        return;
    m_retrySource = g_timeout_add(
        kRegistrationRetryMs * static_cast<guint>(m_failedAttempts),
        [](gpointer self) -> gboolean {
            auto* item = static_cast<StatusNotifierItem*>(self);
            item->m_retrySource = 0;
            item->registerWithWatcher();
            return G_SOURCE_REMOVE;
        },
        this);
}

void StatusNotifierItem::emitSignal(const char* name, GVariant* parameters) {
    if (m_object.isExported())
        m_object.emitSignal(name, parameters);
    else if (parameters)
        g_variant_unref(g_variant_ref_sink(parameters));
}

void StatusNotifierItem::setToolTip(const std::string& text) {
    if (text == m_toolTip)
        return;
    m_toolTip = text;
    emitSignal("NewToolTip");
}

void StatusNotifierItem::setMenu(const std::vector<StatusMenuItem>& items) {
    m_menu->setItems(items);
}

GVariant* StatusNotifierItem::pixmapsValue() const {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a(iiay)"));
    for (const auto& pixmap : m_appearance.pixmaps) {
        GVariant* bytes =
            g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, pixmap.argb.data(), pixmap.argb.size(), 1);
        g_variant_builder_add(&builder, "(ii@ay)", pixmap.width, pixmap.height, bytes);
    }
    return g_variant_builder_end(&builder);
}

GVariant* StatusNotifierItem::property(const std::string& name) const {
    if (name == "Category")
        return g_variant_new_string("Communications");
    if (name == "Id")
        return g_variant_new_string(m_appearance.id.c_str());
    if (name == "Title")
        return g_variant_new_string(m_appearance.title.c_str());
    if (name == "Status")
        return g_variant_new_string("Active");
    if (name == "WindowId")
        return g_variant_new_int32(0);
    if (name == "IconName")
        return g_variant_new_string(m_appearance.iconName.c_str());
    if (name == "IconPixmap")
        return pixmapsValue();
    if (name == "OverlayIconPixmap" || name == "AttentionIconPixmap")
        return emptyPixmaps();
    if (name == "IconThemePath" || name == "OverlayIconName" || name == "AttentionIconName" ||
        name == "AttentionMovieName")
        return g_variant_new_string("");
    if (name == "ToolTip")
        return g_variant_new("(s@a(iiay)ss)", m_appearance.iconName.c_str(), pixmapsValue(),
                             m_toolTip.c_str(), "");
    if (name == "ItemIsMenu")
        return g_variant_new_boolean(FALSE);
    if (name == "Menu")
        return g_variant_new_object_path(kMenuPath);
    return nullptr;
}

GVariant* StatusNotifierItem::onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                            const gchar* property, GError** error, gpointer self) {
    GVariant* value = static_cast<StatusNotifierItem*>(self)->property(property);
    if (!value)
        g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "Unknown property %s", property);
    return value;
}

void StatusNotifierItem::onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                      const gchar* method, GVariant*, GDBusMethodInvocation* invocation,
                                      gpointer self) {
    auto* item = static_cast<StatusNotifierItem*>(self);
    const std::string name = method;
    // The menu is drawn by the host from /MenuBar, so ContextMenu, a middle click and
    // scrolling have nothing more to do.
    g_dbus_method_invocation_return_value(invocation, nullptr);
    if (name == "Activate")
        item->m_activated.emit();
}

} // namespace orvi::platform
