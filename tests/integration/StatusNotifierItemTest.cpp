#include "platform/linux/StatusNotifierItem.h"

#include "DBusTestSupport.h"
#include "PrivateSessionBus.h"
#include "core/notify/NotificationService.h"
#include "core/notify/StatusBarController.h"
#include "core/profiles/ProfileStore.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "fakes/RecordingDesktop.h"
#include "support/ChildProcess.h"
#include "support/NamedProfile.h"

#include <gtest/gtest.h>

using orvi::ProfileId;
using orvi::platform::AppIcon;
using orvi::platform::StatusNotifierItem;
using orvi::test::callAndWait;
using orvi::test::waitUntil;

namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";

// Started before the watcher, the item keeps answering and registers once one appears.
TEST(StatusNotifierItem, RegistersAnswersWhatAHostAsksAndFollowsAProfileSwitchFromItsMenu) {
    ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive()) << "integration tests need their own bus";
    orvi::test::ManualScheduler scheduler;
    orvi::test::RecordingNotifier notifier;
    orvi::test::RecordingLauncherBadge badge;
    orvi::test::MemoryPreferencesStore prefs;
    orvi::ProfileStore store{prefs};
    store.addProfile(orvi::test::namedProfile(ProfileId::generate(), "Работа"));
    orvi::NotificationService service{scheduler, notifier, badge};
    g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    g_autoptr(GDBusConnection) host = orvi::test::newBusConnection();
    ASSERT_NE(host, nullptr);
    int presented = 0;
    StatusNotifierItem item(bus, {"com.orviwrapper.OrviWrapper", "OrviWrapper", "com.orviwrapper.OrviWrapper",
                                  AppIcon::pixmaps({16, 22, 32})});
    orvi::StatusBarController controller;
    controller.setup(item, store, service, {[&] { ++presented; }, [] {}});
    const auto layout = [&] { return orvi::test::menuLayout(host, item.busName()); };
    const auto click = [&](int id, std::string* error = nullptr) {
        return orvi::test::clickMenuEntry(host, item.busName(), id, error);
    };
    const auto toolTipTitle = [&]() -> std::string {
        g_autoptr(GVariant) value = orvi::test::getProperty(host, item.busName().c_str(),
                                                            "/StatusNotifierItem", kItemInterface, "ToolTip");
        const char* title = nullptr;
        if (value)
            g_variant_get_child(value, 2, "&s", &title);
        return title ? title : "<no tooltip>";
    };

    EXPECT_FALSE(item.isRegisteredWithWatcher());
    auto watcher = orvi::test::ChildProcess::start("/usr/bin/status-notifier-watcher", {});
    ASSERT_TRUE(waitUntil([&] { return orvi::test::nameHasOwner(host, kWatcherName); }, 10.0));
    ASSERT_TRUE(waitUntil([&] { return item.isRegisteredWithWatcher(); }));
    g_autoptr(GVariant) registered = orvi::test::getProperty(host, kWatcherName, "/StatusNotifierWatcher",
                                                             kWatcherName, "RegisteredStatusNotifierItems");
    ASSERT_NE(registered, nullptr);
    g_autofree gchar* printed = g_variant_print(registered, FALSE);
    EXPECT_NE(std::string(printed).find(item.busName()), std::string::npos) << printed;

    g_autoptr(GVariant) all =
        callAndWait(host, item.busName().c_str(), "/StatusNotifierItem", "org.freedesktop.DBus.Properties",
                    "GetAll", g_variant_new("(s)", kItemInterface));
    ASSERT_NE(all, nullptr);
    g_autoptr(GVariant) properties = g_variant_get_child_value(all, 0);
    g_autoptr(GVariant) pixmaps = g_variant_lookup_value(properties, "IconPixmap", G_VARIANT_TYPE("a(iiay)"));
    ASSERT_NE(pixmaps, nullptr);
    ASSERT_EQ(g_variant_n_children(pixmaps), 3u);
    for (gsize i = 0; i < 3; ++i) {
        gint32 width = 0, height = 0;
        g_autoptr(GVariant) bytes = nullptr;
        g_variant_get_child(pixmaps, i, "(ii@ay)", &width, &height, &bytes);
        EXPECT_EQ(g_variant_n_children(bytes), static_cast<gsize>(width * height * 4));
    }

    ASSERT_NE(callAndWait(host, item.busName().c_str(), "/StatusNotifierItem", kItemInterface, "Activate",
                          g_variant_new("(ii)", 0, 0)),
              nullptr);
    EXPECT_EQ(presented, 1);

    // The menu switches profiles and the item follows the change.
    using Radios = std::vector<std::pair<std::string, int>>;
    const auto radios = [&] {
        Radios found;
        for (const auto& entry : layout())
            if (entry.toggleType == "radio")
                found.emplace_back(entry.label, entry.toggleState);
        return found;
    };
    const auto entries = layout();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_FALSE(entries[0].enabled) << "the header only names the active profile";
    EXPECT_EQ(radios(), (Radios{{"Основной", 1}, {"Работа", 0}}));

    orvi::test::SignalRecorder layoutUpdates(host, "com.canonical.dbusmenu", "LayoutUpdated");
    orvi::test::SignalRecorder toolTips(host, kItemInterface, "NewToolTip");
    orvi::test::SignalRecorder propertyUpdates(host, "com.canonical.dbusmenu", "ItemsPropertiesUpdated");
    ASSERT_NE(click(entries[3].id), nullptr);
    EXPECT_EQ(store.activeProfile().name, "Работа");
    ASSERT_TRUE(waitUntil([&] {
        return !layoutUpdates.emissions().empty() && !toolTips.emissions().empty() &&
               !propertyUpdates.emissions().empty();
    }));
    // Hosts that cache item properties hear which radio items changed state.
    g_autofree gchar* updated = g_variant_print(propertyUpdates.emissions()[0], FALSE);
    EXPECT_NE(std::string(updated).find("(" + std::to_string(entries[3].id) + ", {"), std::string::npos)
        << updated;
    EXPECT_NE(std::string(updated).find("'toggle-state': <1>"), std::string::npos) << updated;
    EXPECT_EQ(radios(), (Radios{{"Основной", 0}, {"Работа", 1}}));
    EXPECT_EQ(toolTipTitle(), "OrviWrapper, профиль Работа");

    std::string error;
    EXPECT_EQ(click(999, &error), nullptr);
    EXPECT_FALSE(error.empty()) << "an unknown item is refused";
}

} // namespace
