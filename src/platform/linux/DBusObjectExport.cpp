#include "platform/linux/DBusObjectExport.h"

#include "core/base/Log.h"

namespace orvi::platform {

DBusObjectExport::DBusObjectExport(GDBusConnection* connection, std::string path,
                                   const char* introspectionXml, GDBusInterfaceMethodCallFunc methodCall,
                                   GDBusInterfaceGetPropertyFunc getProperty, gpointer target,
                                   const std::string& failureLine)
    : m_connection(G_DBUS_CONNECTION(g_object_ref(connection))), m_path(std::move(path)) {
    GError* error = nullptr;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(introspectionXml, &error);
    if (node && node->interfaces && node->interfaces[0]) {
        m_interface = node->interfaces[0]->name;
        // GIO copies the table, so it may live on this stack frame.
        const GDBusInterfaceVTable vtable{methodCall, getProperty, nullptr, {}};
        m_registration = g_dbus_connection_register_object(m_connection, m_path.c_str(), node->interfaces[0],
                                                           &vtable, target, nullptr, &error);
    }
    if (node)
        g_dbus_node_info_unref(node);
    if (!m_registration) {
        Log::line(failureLine + (error ? error->message : "no interface in its description"));
        g_clear_error(&error);
    }
}

DBusObjectExport::~DBusObjectExport() {
    if (m_registration)
        g_dbus_connection_unregister_object(m_connection, m_registration);
    g_object_unref(m_connection);
}

std::optional<std::string> DBusObjectExport::emitSignal(const char* name, GVariant* parameters) const {
    GError* error = nullptr;
    if (m_interface.empty()) {
        if (parameters)
            g_variant_unref(g_variant_ref_sink(parameters));
        return "no interface exported at " + m_path;
    }
    if (g_dbus_connection_emit_signal(m_connection, nullptr, m_path.c_str(), m_interface.c_str(), name,
                                      parameters, &error))
        return std::nullopt;
    std::string message = error->message;
    g_error_free(error);
    return message;
}

} // namespace orvi::platform
