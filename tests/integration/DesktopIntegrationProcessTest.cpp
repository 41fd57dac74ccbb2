#include "DBusTestSupport.h"
#include "PrivateSessionBus.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "core/profiles/ProfileStore.h"
#include "support/AppProcess.h"
#include "support/NamedProfile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using orvi::test::callAndWait;
using orvi::test::ChildProcess;
using orvi::test::waitUntil;

namespace {

// The real application on this test's private bus, with Debian's tray watcher beside it.
TEST(DesktopIntegrationProcess, TrayMenuAndNotificationActionsSwitchTheRunningApplicationsProfile) {
    ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive()) << "integration tests need their own bus";
    orvi::test::TempDir dir;
    g_autoptr(GDBusConnection) host = orvi::test::newBusConnection();
    orvi::Profile main = orvi::Profile::makeDefault();
    orvi::Profile work = main;
    {
        auto prefs = orvi::SqlitePreferencesStore::create(dir / "config/orvi-wrapper/preferences.sqlite3");
        ASSERT_TRUE(prefs.ok());
        orvi::ProfileStore store(*prefs.value());
        store.addProfile(orvi::test::namedProfile(orvi::ProfileId::generate(), "Работа"));
        main = store.profiles()[0];
        work = store.profiles()[1];
    }
    const auto savedActiveLine = [](const orvi::Profile& profile) {
        return "💾 Saved active profile: " + profile.name + " (" + profile.id.text() + ")";
    };
    auto watcher = ChildProcess::start("/usr/bin/status-notifier-watcher", {});
    ASSERT_TRUE(
        waitUntil([&] { return orvi::test::nameHasOwner(host, "org.kde.StatusNotifierWatcher"); }, 10.0));
    auto app = ChildProcess::start(ORVI_APP_BINARY, {{}, orvi::test::confinedAppEnvironment(dir.path()), {}});
    const std::string itemName = "org.kde.StatusNotifierItem-" + std::to_string(app->pid()) + "-1";
    const auto menu = [&] { return orvi::test::menuLayout(host, itemName); };
    const auto click = [&](int id) { orvi::test::clickMenuEntry(host, itemName, id); };
    ASSERT_TRUE(app->waitForExactLine("Notification permission granted", 30s));
    ASSERT_TRUE(app->waitForExactLine("✅ Tray item registered with the StatusNotifierWatcher", 10s));

    auto entries = menu();
    // Header, separator, the two profiles, the do-not-disturb group, separator, "Выход".
    ASSERT_EQ(entries.size(), 11u);
    EXPECT_EQ(entries[0].label, "Активный профиль: Основной");
    EXPECT_EQ(entries[3].label, "Работа");
    click(entries[3].id);
    EXPECT_TRUE(app->waitForExactLine(savedActiveLine(work), 10s));
    EXPECT_EQ(menu()[0].label, "Активный профиль: Работа");

    // What GIO's notification backends do with a click: activate the application's action
    // with the notification's target.
    const auto activate = [&](const std::string& target) {
        GVariantBuilder parameters;
        g_variant_builder_init(&parameters, G_VARIANT_TYPE("av"));
        g_variant_builder_add(&parameters, "v", g_variant_new_string(target.c_str()));
        return callAndWait(host, "com.orviwrapper.OrviWrapper", "/com/orviwrapper/OrviWrapper",
                           "org.gtk.Actions", "Activate",
                           g_variant_new("(s@av@a{sv})", "open-profile", g_variant_builder_end(&parameters),
                                         g_variant_new_array(G_VARIANT_TYPE("{sv}"), nullptr, 0)));
    };
    ASSERT_NE(activate("not-a-profile"), nullptr);
    ASSERT_NE(activate(main.id.text()), nullptr);
    EXPECT_TRUE(app->waitForExactLine(savedActiveLine(main), 10s));
    EXPECT_EQ(menu()[0].label, "Активный профиль: Основной") << "the malformed click changed nothing";

    click(entries.back().id);
    EXPECT_EQ(app->waitForExit(15s), 0) << "\"Выход\" ends the application normally";
}

} // namespace
