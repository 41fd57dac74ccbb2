#pragma once

#include <gio/gio.h>
#include <optional>
#include <string>

namespace orvi::platform {

// One object with one interface on a bus connection, exported for as long as this lives.
// A failed export is logged once, opened by failureLine, and leaves the owner answering
// nothing on the bus rather than failing itself: the desktop parts are optional extras.
class DBusObjectExport {
public:
    // introspectionXml holds exactly one interface; the handlers receive target as their
    // user data. getProperty may be null for an interface without properties.
    DBusObjectExport(GDBusConnection* connection, std::string path, const char* introspectionXml,
                     GDBusInterfaceMethodCallFunc methodCall, GDBusInterfaceGetPropertyFunc getProperty,
                     gpointer target, const std::string& failureLine);
    ~DBusObjectExport();
    DBusObjectExport(const DBusObjectExport&) = delete;
    DBusObjectExport& operator=(const DBusObjectExport&) = delete;

    bool isExported() const { return m_registration != 0; }
    GDBusConnection* connection() const { return m_connection; }
    const std::string& path() const { return m_path; }

    // Emits a signal of the interface from this object's path (a floating parameters value is
    // consumed); the bus's refusal as text, when it refused.
    std::optional<std::string> emitSignal(const char* name, GVariant* parameters) const;

private:
    GDBusConnection* m_connection;
    std::string m_path;
    std::string m_interface;
    guint m_registration = 0;
};

} // namespace orvi::platform
