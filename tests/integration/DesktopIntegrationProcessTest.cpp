#include "DBusTestSupport.h"
#include "PrivateSessionBus.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "core/profiles/ProfileStore.h"
#include "support/ChildProcess.h"
#include "support/NamedProfile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using orvi::test::callAndWait;
using orvi::test::ChildProcess;
using orvi::test::waitUntil;

namespace {

constexpr const char* kMenu = "com.canonical.dbusmenu";

// The real application on this test's private bus, with Debian's tray watcher beside it.
class DesktopIntegrationProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive()) << "integration tests need their own bus";
        host = orvi::test::newBusConnection();
        std::filesystem::create_directories(dir / "runtime");
        std::filesystem::permissions(dir / "runtime", std::filesystem::perms::owner_all);
        auto prefs = orvi::SqlitePreferencesStore::create(dir / "config/orvi-wrapper/preferences.sqlite3");
        ASSERT_TRUE(prefs.ok());
        orvi::ProfileStore store(*prefs.value());
        store.addProfile(orvi::test::namedProfile(orvi::ProfileId::generate(), "Работа"));
        main = store.profiles()[0];
        work = store.profiles()[1];
    }
    void TearDown() override {
        app.reset();
        if (host)
            g_object_unref(host);
    }

    void launch() {
        app = ChildProcess::start(ORVI_APP_BINARY, {{},
                                                    {{"HOME", (dir / "home").string()},
                                                     {"XDG_CONFIG_HOME", (dir / "config").string()},
                                                     {"XDG_DATA_HOME", (dir / "data").string()},
                                                     {"XDG_CACHE_HOME", (dir / "cache").string()},
                                                     {"XDG_RUNTIME_DIR", (dir / "runtime").string()},
                                                     {"GSK_RENDERER", "cairo"},
                                                     {"NO_AT_BRIDGE", "1"}},
                                                    {}});
    }

    std::string itemName() const { return "org.kde.StatusNotifierItem-" + std::to_string(app->pid()) + "-1"; }

    // The menu's entries as (id, label).
    std::vector<std::pair<int, std::string>> menu() {
        std::vector<std::pair<int, std::string>> entries;
        const char* all[] = {nullptr};
        GVariant* reply = callAndWait(host, itemName().c_str(), "/MenuBar", kMenu, "GetLayout",
                                      g_variant_new("(ii^as)", 0, -1, all));
        if (!reply)
            return entries;
        GVariant* root = g_variant_get_child_value(reply, 1);
        GVariant* children = g_variant_get_child_value(root, 2);
        for (gsize i = 0; i < g_variant_n_children(children); ++i) {
            GVariant* child = g_variant_get_variant(g_variant_get_child_value(children, i));
            gint32 id = 0;
            GVariant* props = nullptr;
            g_variant_get(child, "(i@a{sv}av)", &id, &props, nullptr);
            const char* label = "";
            g_variant_lookup(props, "label", "&s", &label);
            entries.emplace_back(id, label);
            g_variant_unref(props);
            g_variant_unref(child);
        }
        g_variant_unref(children);
        g_variant_unref(root);
        g_variant_unref(reply);
        return entries;
    }

    void click(int id) {
        callAndWait(host, itemName().c_str(), "/MenuBar", kMenu, "Event",
                    g_variant_new("(isvu)", id, "clicked", g_variant_new_int32(0), 0u));
    }

    std::string savedActiveLine(const orvi::Profile& profile) {
        return "💾 Saved active profile: " + profile.name + " (" + profile.id.text() + ")";
    }

    orvi::test::TempDir dir;
    GDBusConnection* host = nullptr;
    std::unique_ptr<ChildProcess> app;
    orvi::Profile main = orvi::Profile::makeDefault();
    orvi::Profile work = main;
};

TEST_F(DesktopIntegrationProcessTest, TrayMenuAndNotificationActionsSwitchTheRunningApplicationsProfile) {
    auto watcher = ChildProcess::start("/usr/bin/status-notifier-watcher", {});
    ASSERT_TRUE(
        waitUntil([&] { return orvi::test::nameHasOwner(host, "org.kde.StatusNotifierWatcher"); }, 10.0));
    launch();
    ASSERT_TRUE(app->waitForExactLine("Notification permission granted", 30s));
    ASSERT_TRUE(app->waitForExactLine("✅ Tray item registered with the StatusNotifierWatcher", 10s));

    auto entries = menu();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].second, "Активный профиль: Основной");
    EXPECT_EQ(entries[3].second, "Работа");
    click(entries[3].first);
    EXPECT_TRUE(app->waitForExactLine(savedActiveLine(work), 10s));
    EXPECT_EQ(menu()[0].second, "Активный профиль: Работа");

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
    EXPECT_EQ(menu()[0].second, "Активный профиль: Основной") << "the malformed click changed nothing";

    click(entries[5].first);
    EXPECT_EQ(app->waitForExit(15s), 0) << "\"Выход\" ends the application normally";
}

TEST_F(DesktopIntegrationProcessTest, WithoutATrayWatcherTheApplicationRunsOn) {
    launch();
    ASSERT_TRUE(app->waitForExactLine(
        "⚠️ No StatusNotifierWatcher on the session bus; the tray item will register when one appears",
        30s));
    auto watcher = ChildProcess::start("/usr/bin/status-notifier-watcher", {});
    EXPECT_TRUE(app->waitForExactLine("✅ Tray item registered with the StatusNotifierWatcher", 15s));
    app->sendSignal(SIGTERM);
    EXPECT_EQ(app->waitForExit(15s), 0);
}

} // namespace
