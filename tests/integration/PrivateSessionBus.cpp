#include "PrivateSessionBus.h"

#include <map>
#include <string>

namespace orvi::test {

namespace {
bool g_active = false;
}

// GLib's test bus also clears the display and the runtime folder from the environment, which
// the web views and the programs the tests start still need.
PrivateSessionBus::PrivateSessionBus() : m_bus(g_test_dbus_new(G_TEST_DBUS_NONE)) {
    std::map<std::string, std::string> kept;
    for (const char* name : {"DISPLAY", "XDG_RUNTIME_DIR"})
        if (const char* value = g_getenv(name))
            kept[name] = value;
    g_test_dbus_up(m_bus);
    for (const auto& [name, value] : kept)
        g_setenv(name.c_str(), value.c_str(), TRUE);
    g_active = g_test_dbus_get_bus_address(m_bus) != nullptr;
}

// Stopped, not taken down: taking it down waits for every holder of the bus connection to let
// go of it, and GTK and the notification tests' shared application hold it to the end.
PrivateSessionBus::~PrivateSessionBus() {
    g_test_dbus_stop(m_bus);
}

bool PrivateSessionBus::isActive() {
    return g_active;
}

} // namespace orvi::test
