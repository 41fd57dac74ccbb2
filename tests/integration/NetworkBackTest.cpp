#include "platform/linux/LinuxNetworkEnvironment.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

using orvi::platform::LinuxNetworkEnvironment;

TEST(LinuxNetworkEnvironment, TellsOfTheNetworkComingBackOnlyWhenItWasGone) {
    GNetworkMonitor* monitor = g_network_monitor_get_default();
    LinuxNetworkEnvironment environment("/dev/null", "/dev/null", monitor);
    int back = 0;
    auto connection = environment.subscribeToNetworkBack([&] { ++back; });
    for (gboolean available : std::initializer_list<gboolean>{FALSE, TRUE, TRUE, FALSE, FALSE, TRUE})
        g_signal_emit_by_name(monitor, "network-changed", available);
    EXPECT_EQ(back, 2);
    EXPECT_TRUE(environment.currentPath().satisfied);

    connection.disconnect();
    g_signal_emit_by_name(monitor, "network-changed", FALSE);
    g_signal_emit_by_name(monitor, "network-changed", TRUE);
    EXPECT_EQ(back, 2);
}
