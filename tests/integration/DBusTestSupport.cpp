#include "DBusTestSupport.h"

namespace orvi::test {

bool waitUntil(const std::function<bool()>& condition, double seconds) {
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(seconds * G_USEC_PER_SEC);
    while (!condition()) {
        if (g_get_monotonic_time() > deadline)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    }
    return true;
}

GDBusConnection* newBusConnection() {
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    g_free(address);
    return connection;
}

GVariant* callAndWait(GDBusConnection* connection, const char* destination, const char* path,
                      const char* interface, const char* method, GVariant* parameters, std::string* error) {
    struct Reply {
        bool done = false;
        GVariant* value = nullptr;
        std::string error;
    } reply;
    g_dbus_connection_call(
        connection, destination, path, interface, method, parameters, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000,
        nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* r = static_cast<Reply*>(data);
            GError* e = nullptr;
            r->value = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &e);
            if (e) {
                r->error = e->message;
                g_error_free(e);
            }
            r->done = true;
        },
        &reply);
    waitUntil([&] { return reply.done; }, 10.0);
    if (error)
        *error = reply.error;
    return reply.value;
}

GVariant* getProperty(GDBusConnection* connection, const char* destination, const char* path,
                      const char* interface, const char* property) {
    g_autoptr(GVariant) reply = callAndWait(connection, destination, path, "org.freedesktop.DBus.Properties",
                                            "Get", g_variant_new("(ss)", interface, property));
    GVariant* value = nullptr;
    if (reply)
        g_variant_get(reply, "(v)", &value);
    return value;
}

bool nameHasOwner(GDBusConnection* connection, const char* name) {
    g_autoptr(GVariant) reply =
        callAndWait(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                    "NameHasOwner", g_variant_new("(s)", name));
    gboolean has = FALSE;
    if (reply)
        g_variant_get(reply, "(b)", &has);
    return has;
}

guint ownName(GDBusConnection* connection, const char* name) {
    bool owned = false;
    const guint owner = g_bus_own_name_on_connection(
        connection, name, G_BUS_NAME_OWNER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, gpointer flag) { *static_cast<bool*>(flag) = true; }, nullptr,
        &owned, nullptr);
    if (waitUntil([&] { return owned; }))
        return owner;
    g_bus_unown_name(owner);
    return 0;
}

SignalRecorder::SignalRecorder(GDBusConnection* connection, const char* interface, const char* member)
    : m_connection(G_DBUS_CONNECTION(g_object_ref(connection))) {
    m_subscription = g_dbus_connection_signal_subscribe(
        m_connection, nullptr, interface, member, nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
           gpointer self) {
            static_cast<SignalRecorder*>(self)->m_emissions.push_back(g_variant_ref(parameters));
        },
        this, nullptr);
}

SignalRecorder::~SignalRecorder() {
    g_dbus_connection_signal_unsubscribe(m_connection, m_subscription);
    for (GVariant* parameters : m_emissions)
        g_variant_unref(parameters);
    g_object_unref(m_connection);
}

std::vector<MenuEntry> menuLayout(GDBusConnection* connection, const std::string& busName) {
    std::vector<MenuEntry> entries;
    const char* allProperties[] = {nullptr};
    g_autoptr(GVariant) reply = callAndWait(connection, busName.c_str(), "/MenuBar", "com.canonical.dbusmenu",
                                            "GetLayout", g_variant_new("(ii^as)", 0, -1, allProperties));
    if (!reply)
        return entries;
    g_autoptr(GVariant) root = g_variant_get_child_value(reply, 1);
    g_autoptr(GVariant) children = g_variant_get_child_value(root, 2);
    for (gsize i = 0; i < g_variant_n_children(children); ++i) {
        g_autoptr(GVariant) boxed = g_variant_get_child_value(children, i);
        g_autoptr(GVariant) child = g_variant_get_variant(boxed);
        g_autoptr(GVariant) props = g_variant_get_child_value(child, 1);
        MenuEntry entry;
        g_variant_get_child(child, 0, "i", &entry.id);
        for (auto [key, field] :
             {std::pair{"label", &entry.label}, std::pair{"toggle-type", &entry.toggleType}}) {
            const char* text = nullptr;
            if (g_variant_lookup(props, key, "&s", &text))
                *field = text;
        }
        g_variant_lookup(props, "toggle-state", "i", &entry.toggleState);
        gboolean enabled = TRUE;
        g_variant_lookup(props, "enabled", "b", &enabled);
        entry.enabled = enabled;
        entries.push_back(entry);
    }
    return entries;
}

GVariant* clickMenuEntry(GDBusConnection* connection, const std::string& busName, int id,
                         std::string* error) {
    return callAndWait(connection, busName.c_str(), "/MenuBar", "com.canonical.dbusmenu", "Event",
                       g_variant_new("(isvu)", id, "clicked", g_variant_new_int32(0), 0u), error);
}

} // namespace orvi::test
