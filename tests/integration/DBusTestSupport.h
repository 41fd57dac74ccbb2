#pragma once

#include <functional>
#include <gio/gio.h>
#include <string>
#include <vector>

namespace orvi::test {

// Keeps the main context turning until the condition holds or the time is up. The objects
// under test answer D-Bus calls on this same context, so tests never block it.
bool waitUntil(const std::function<bool()>& condition, double seconds = 5.0);

// A connection of its own to the session bus, as another process on the desktop would have.
GDBusConnection* newBusConnection();

// Calls a method and waits for the reply while the main context keeps turning. Returns the
// reply (owned by the caller) or null, with the error text in *error.
GVariant* callAndWait(GDBusConnection* connection, const char* destination, const char* path,
                      const char* interface, const char* method, GVariant* parameters,
                      std::string* error = nullptr);

// Reads one property through org.freedesktop.DBus.Properties.Get.
GVariant* getProperty(GDBusConnection* connection, const char* destination, const char* path,
                      const char* interface, const char* property);

bool nameHasOwner(GDBusConnection* connection, const char* name);
// Owns the name on the connection and waits until the bus grants it: the owner id, or 0.
guint ownName(GDBusConnection* connection, const char* name);

// One top-level entry of a com.canonical.dbusmenu menu, as a tray host reads it.
struct MenuEntry {
    int id = 0;
    std::string label;
    std::string toggleType;
    int toggleState = -1;
    bool enabled = true;
};
// The top-level entries of the menu at /MenuBar of the given name; empty when it does not answer.
std::vector<MenuEntry> menuLayout(GDBusConnection* connection, const std::string& busName);
// Sends a click on the entry, as a tray host does.
GVariant* clickMenuEntry(GDBusConnection* connection, const std::string& busName, int id,
                         std::string* error = nullptr);

// Records every emission of one signal.
class SignalRecorder {
public:
    SignalRecorder(GDBusConnection* connection, const char* interface, const char* member);
    ~SignalRecorder();
    SignalRecorder(const SignalRecorder&) = delete;
    SignalRecorder& operator=(const SignalRecorder&) = delete;

    // The parameters of each emission, oldest first.
    const std::vector<GVariant*>& emissions() const { return m_emissions; }

private:
    GDBusConnection* m_connection;
    guint m_subscription;
    std::vector<GVariant*> m_emissions;
};

} // namespace orvi::test
