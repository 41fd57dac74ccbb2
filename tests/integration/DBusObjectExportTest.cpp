#include "platform/linux/DBusObjectExport.h"

#include "DBusTestSupport.h"
#include "PrivateSessionBus.h"
#include "fakes/LogCapture.h"

#include <gtest/gtest.h>

using orvi::platform::DBusObjectExport;

namespace {

constexpr const char* kXml = R"xml(<node><interface name="org.orvi.Test">
  <method name="Ping"><arg type="s" direction="out"/></method></interface></node>)xml";

void answerPing(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                GDBusMethodInvocation* invocation, gpointer target) {
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(s)", static_cast<const char*>(target)));
}

// A path holds one object at a time: a second export there fails and says so, the first keeps
// answering, and the path is free again once the first goes.
TEST(DBusObjectExport, OnePathOneObjectAndFreedOnDestruction) {
    ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive()) << "integration tests need their own bus";
    orvi::test::LogCapture log;
    g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    g_autoptr(GDBusConnection) caller = orvi::test::newBusConnection();
    const std::string name = g_dbus_connection_get_unique_name(bus);
    const auto ping = [&] {
        g_autoptr(GVariant) reply =
            orvi::test::callAndWait(caller, name.c_str(), "/org/orvi/Test", "org.orvi.Test", "Ping", nullptr);
        const char* text = "";
        if (reply)
            g_variant_get(reply, "(&s)", &text);
        return std::string(text);
    };
    const auto exportAs = [&](const char* target) {
        return std::make_unique<DBusObjectExport>(bus, "/org/orvi/Test", kXml, &answerPing, nullptr,
                                                  const_cast<char*>(target), "❌ not exported: ");
    };

    auto first = exportAs("first");
    EXPECT_TRUE(first->isExported());
    EXPECT_FALSE(exportAs("second")->isExported());
    EXPECT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(ping(), "first");
    first.reset();
    auto third = exportAs("third");
    EXPECT_TRUE(third->isExported());
    EXPECT_EQ(ping(), "third");
}

} // namespace
