#pragma once

#include <gio/gio.h>

namespace orvi::test {

// A dbus-daemon of this test process alone, made the session bus before anything connects
// to one. Each integration test runs in its own process, so tests that own well-known names
// (a notification server, a tray watcher) never meet another test's names.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // True when this process's session bus is one started here.
    static bool isActive();

private:
    GTestDBus* m_bus;
};

} // namespace orvi::test
