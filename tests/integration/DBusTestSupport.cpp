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
    GVariant* reply = callAndWait(connection, destination, path, "org.freedesktop.DBus.Properties", "Get",
                                  g_variant_new("(ss)", interface, property));
    if (!reply)
        return nullptr;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    g_variant_unref(reply);
    return value;
}

bool nameHasOwner(GDBusConnection* connection, const char* name) {
    GVariant* reply = callAndWait(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", name));
    if (!reply)
        return false;
    gboolean has = FALSE;
    g_variant_get(reply, "(b)", &has);
    g_variant_unref(reply);
    return has;
}

SignalRecorder::SignalRecorder(GDBusConnection* connection, const char* interface, const char* member)
    : m_connection(G_DBUS_CONNECTION(g_object_ref(connection))) {
    m_subscription = g_dbus_connection_signal_subscribe(
        m_connection, nullptr, interface, member, nullptr, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar* path, const gchar*, const gchar*,
           GVariant* parameters, gpointer self) {
            static_cast<SignalRecorder*>(self)->m_emissions.push_back({path, g_variant_ref(parameters)});
        },
        this, nullptr);
}

SignalRecorder::~SignalRecorder() {
    g_dbus_connection_signal_unsubscribe(m_connection, m_subscription);
    for (auto& emission : m_emissions)
        g_variant_unref(emission.parameters);
    g_object_unref(m_connection);
}

} // namespace orvi::test
