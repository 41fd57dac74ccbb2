#include "platform/linux/StatusNotifierItem.h"

#include "DBusTestSupport.h"
#include "PrivateSessionBus.h"
#include "core/notify/NotificationService.h"
#include "core/notify/StatusBarController.h"
#include "core/profiles/ProfileStore.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "fakes/RecordingDesktop.h"
#include "support/ChildProcess.h"
#include "support/NamedProfile.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using orvi::ProfileId;
using orvi::platform::AppIcon;
using orvi::platform::StatusNotifierItem;
using orvi::test::callAndWait;
using orvi::test::waitUntil;

namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";

using orvi::test::MenuEntry;

struct StatusNotifierItemTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive()) << "integration tests need their own bus";
        bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        host = orvi::test::newBusConnection();
        ASSERT_NE(host, nullptr);
        store.addProfile(orvi::test::namedProfile(ProfileId::generate(), "Работа"));
    }
    void TearDown() override {
        controller.reset();
        item.reset();
        if (host)
            g_object_unref(host);
        if (bus)
            g_object_unref(bus);
    }

    void startWatcher() {
        watcher = orvi::test::ChildProcess::start("/usr/bin/status-notifier-watcher", {});
        ASSERT_TRUE(waitUntil([&] { return orvi::test::nameHasOwner(host, kWatcherName); }, 10.0))
            << "status-notifier-watcher did not take its name";
    }

    void startItem() {
        item = std::make_unique<StatusNotifierItem>(
            bus,
            StatusNotifierItem::Appearance{"com.orviwrapper.OrviWrapper", "OrviWrapper",
                                           "com.orviwrapper.OrviWrapper", AppIcon::pixmaps({16, 22, 32})});
        controller = std::make_unique<orvi::StatusBarController>();
        controller->setup(*item, store, service, {[this] { ++presented; }, [this] { ++quits; }});
    }

    GVariant* itemProperty(const char* name) {
        return orvi::test::getProperty(host, item->busName().c_str(), "/StatusNotifierItem", kItemInterface,
                                       name);
    }

    std::vector<MenuEntry> layout() { return orvi::test::menuLayout(host, item->busName()); }
    GVariant* click(int id, std::string* error = nullptr) {
        return orvi::test::clickMenuEntry(host, item->busName(), id, error);
    }

    std::string toolTipTitle() {
        GVariant* value = itemProperty("ToolTip");
        if (!value)
            return "<no tooltip>";
        const char* title = nullptr;
        g_variant_get_child(value, 2, "&s", &title);
        std::string result = title;
        g_variant_unref(value);
        return result;
    }

    orvi::test::LogCapture log;
    orvi::test::ManualScheduler scheduler;
    orvi::test::RecordingNotifier notifier;
    orvi::test::RecordingLauncherBadge badge;
    orvi::test::MemoryPreferencesStore prefs;
    orvi::ProfileStore store{prefs};
    orvi::NotificationService service{scheduler, notifier, badge};
    GDBusConnection* bus = nullptr;
    GDBusConnection* host = nullptr;
    std::unique_ptr<orvi::test::ChildProcess> watcher;
    std::unique_ptr<StatusNotifierItem> item;
    std::unique_ptr<orvi::StatusBarController> controller;
    int presented = 0;
    int quits = 0;
};

TEST_F(StatusNotifierItemTest, RegistersAnswersWhatAHostAsksAndFollowsAProfileSwitchFromItsMenu) {
    startWatcher();
    startItem();
    ASSERT_TRUE(waitUntil([&] { return item->isRegisteredWithWatcher(); }));
    GVariant* registered = orvi::test::getProperty(host, kWatcherName, "/StatusNotifierWatcher", kWatcherName,
                                                   "RegisteredStatusNotifierItems");
    ASSERT_NE(registered, nullptr);
    gchar* printed = g_variant_print(registered, FALSE);
    EXPECT_NE(std::string(printed).find(item->busName()), std::string::npos) << printed;
    g_free(printed);
    g_variant_unref(registered);

    GVariant* all =
        callAndWait(host, item->busName().c_str(), "/StatusNotifierItem", "org.freedesktop.DBus.Properties",
                    "GetAll", g_variant_new("(s)", kItemInterface));
    ASSERT_NE(all, nullptr);
    GVariant* properties = g_variant_get_child_value(all, 0);
    const char* text = nullptr;
    EXPECT_TRUE(g_variant_lookup(properties, "Id", "&s", &text) &&
                std::string(text) == "com.orviwrapper.OrviWrapper");
    EXPECT_TRUE(g_variant_lookup(properties, "Status", "&s", &text) && std::string(text) == "Active");
    GVariant* pixmaps = g_variant_lookup_value(properties, "IconPixmap", G_VARIANT_TYPE("a(iiay)"));
    ASSERT_NE(pixmaps, nullptr);
    ASSERT_EQ(g_variant_n_children(pixmaps), 3u);
    for (gsize i = 0; i < 3; ++i) {
        gint32 width = 0, height = 0;
        GVariant* bytes = nullptr;
        g_variant_get_child(pixmaps, i, "(ii@ay)", &width, &height, &bytes);
        EXPECT_EQ(g_variant_n_children(bytes), static_cast<gsize>(width * height * 4));
        g_variant_unref(bytes);
    }
    g_variant_unref(pixmaps);
    g_variant_unref(properties);
    g_variant_unref(all);

    ASSERT_NE(callAndWait(host, item->busName().c_str(), "/StatusNotifierItem", kItemInterface, "Activate",
                          g_variant_new("(ii)", 0, 0)),
              nullptr);
    EXPECT_EQ(presented, 1);

    // The menu switches profiles and the item follows the change.
    auto entries = layout();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].label, "Активный профиль: Основной");
    EXPECT_FALSE(entries[0].enabled);
    EXPECT_EQ(entries[2].label, "Основной");
    EXPECT_EQ(entries[2].toggleType, "radio");
    EXPECT_EQ(entries[2].toggleState, 1);
    EXPECT_EQ(entries[3].label, "Работа");
    EXPECT_EQ(entries[3].toggleState, 0);

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
    gchar* updated = g_variant_print(propertyUpdates.emissions()[0].parameters, FALSE);
    EXPECT_NE(std::string(updated).find("(" + std::to_string(entries[3].id) + ", {"), std::string::npos)
        << updated;
    EXPECT_NE(std::string(updated).find("'toggle-state': <1>"), std::string::npos) << updated;
    g_free(updated);
    entries = layout();
    EXPECT_EQ(entries[0].label, "Активный профиль: Работа");
    EXPECT_EQ(entries[2].toggleState, 0);
    EXPECT_EQ(entries[3].toggleState, 1);
    EXPECT_EQ(toolTipTitle(), "OrviWrapper, профиль Работа");

    std::string error;
    EXPECT_EQ(click(999, &error), nullptr);
    EXPECT_FALSE(error.empty()) << "an unknown item is refused";
    click(entries[5].id);
    EXPECT_EQ(quits, 1);
}

TEST_F(StatusNotifierItemTest, WithoutAWatcherTheItemWaitsAndRegistersWhenOneAppears) {
    startItem();
    ASSERT_TRUE(waitUntil([&] {
        return log.contains(
            "⚠️ No StatusNotifierWatcher on the session bus; the tray item will register when "
            "one appears");
    }));
    EXPECT_EQ(toolTipTitle(), "OrviWrapper, профиль Основной") << "the item keeps answering";

    startWatcher();
    ASSERT_TRUE(waitUntil([&] { return item->isRegisteredWithWatcher(); }))
        << ::testing::PrintToString(log.lines());
}

} // namespace
