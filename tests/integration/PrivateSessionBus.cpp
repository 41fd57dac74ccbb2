#include "PrivateSessionBus.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvi::test {

namespace {
bool g_active = false;
}

PrivateSessionBus::PrivateSessionBus() {
    gchar* argv[] = {const_cast<gchar*>("dbus-daemon"), const_cast<gchar*>("--session"),
                     const_cast<gchar*>("--nofork"), const_cast<gchar*>("--print-address=1"), nullptr};
    gint out = -1;
    GError* error = nullptr;
    if (!g_spawn_async_with_pipes(
            nullptr, argv, nullptr,
            static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                     G_SPAWN_STDERR_TO_DEV_NULL),
            [](gpointer) { prctl(PR_SET_PDEATHSIG, SIGTERM); }, nullptr, &m_pid, nullptr, &out, nullptr,
            &error)) {
        std::fprintf(stderr, "cannot start a private dbus-daemon: %s\n", error->message);
        g_error_free(error);
        m_pid = 0;
        return;
    }
    std::string address;
    char c = 0;
    while (read(out, &c, 1) == 1 && c != '\n')
        address += c;
    close(out);
    if (address.empty()) {
        std::fprintf(stderr, "the private dbus-daemon printed no address\n");
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
        return;
    }
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    g_active = true;
}

PrivateSessionBus::~PrivateSessionBus() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        g_spawn_close_pid(m_pid);
    }
}

bool PrivateSessionBus::isActive() {
    return g_active;
}

} // namespace orvi::test
