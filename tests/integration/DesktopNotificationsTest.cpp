#include "DBusTestSupport.h"
#include "PrivateSessionBus.h"
#include "RecordingNotificationServer.h"
#include "core/notify/NotificationDelegate.h"
#include "core/notify/NotificationService.h"
#include "core/profiles/ProfileStore.h"
#include "fakes/LogCapture.h"
#include "fakes/MemoryPreferencesStore.h"
#include "platform/linux/DesktopNotifier.h"
#include "platform/linux/GLibScheduler.h"
#include "platform/linux/UnityLauncherBadge.h"
#include "support/NamedProfile.h"

#include <gtest/gtest.h>

using orvi::ProfileId;
using orvi::platform::DesktopNotifier;
using orvi::test::namedProfile;
using orvi::test::waitUntil;

namespace {

constexpr const char* kAppId = "com.orviwrapper.OrviWrapper";

struct DesktopNotificationsTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive()) << "integration tests need their own bus";
        ASSERT_TRUE(server.start());
        app = sharedApplication();
        ASSERT_NE(app, nullptr);
        notifier = std::make_unique<DesktopNotifier>(app, DesktopNotifier::Sandbox::NotSandboxed);
        badge = std::make_unique<orvi::platform::UnityLauncherBadge>(g_application_get_dbus_connection(app),
                                                                     std::string(kAppId) + ".desktop");
        service = std::make_unique<orvi::NotificationService>(scheduler, *notifier, *badge);
    }
    void TearDown() override {
        service.reset();
        badge.reset();
        notifier.reset();
    }

    // One registered application per process, as in the running program: GIO's notification
    // backend does not survive its application being finalized while signals are in flight.
    static GApplication* sharedApplication() {
        static GApplication* application = [] {
            // The application does the same at start-up: notification servers show this name.
            g_set_application_name("OrviWrapper");
            GApplication* created = g_application_new(kAppId, G_APPLICATION_DEFAULT_FLAGS);
            GError* error = nullptr;
            if (!g_application_register(created, nullptr, &error)) {
                ADD_FAILURE() << error->message;
                g_error_free(error);
                return static_cast<GApplication*>(nullptr);
            }
            return created;
        }();
        return application;
    }

    orvi::test::LogCapture log;
    orvi::test::RecordingNotificationServer server;
    orvi::platform::GLibScheduler scheduler;
    GApplication* app = nullptr;
    std::unique_ptr<DesktopNotifier> notifier;
    std::unique_ptr<orvi::platform::UnityLauncherBadge> badge;
    std::unique_ptr<orvi::NotificationService> service;
    ProfileId work = ProfileId::generate();
};

TEST_F(DesktopNotificationsTest, RisesReachTheServerAsOneReplaceableNotificationWithAnEscapedBody) {
    service->notifyUnread(namedProfile(work, "Работа & <Дом>"), 2);
    service->notifyUnread(namedProfile(work, "Работа & <Дом>"), 3);
    service->notifyUnread(namedProfile(work, "Работа & <Дом>"), 4);
    ASSERT_TRUE(waitUntil([&] { return server.notifications().size() == 1; }));

    const auto first = server.notifications()[0];
    EXPECT_EQ(first.replacesId, 0u);
    EXPECT_EQ(first.summary, "Работа & <Дом>") << "the summary is plain text";
    EXPECT_NE(first.body.find("2 "), std::string::npos) << "the first rise counts all unread";
    const std::vector<std::string> actions{"default", "", "app.open-profile::" + work.text(),
                                           "Открыть профиль"};
    EXPECT_EQ(first.actions, actions);

    service->notifyUnread(namedProfile(work, "Работа & <Дом>"), 5);
    ASSERT_TRUE(waitUntil([&] { return server.notifications().size() == 2; }));
    EXPECT_EQ(server.notifications()[1].replacesId, first.id) << "one notification per profile";
    EXPECT_NE(server.notifications()[1].body.find("1 "), std::string::npos) << "then only the new one";

    service->notifyUnread(namedProfile(work, "Работа & <Дом>"), 0);
    ASSERT_TRUE(waitUntil([&] { return !server.closed().empty(); }));
    EXPECT_EQ(server.closed(), std::vector<guint32>{first.id});

    bool posted = false;
    notifier->post(
        {.identifier = "escape-check", .title = "<b>Title</b>", .subtitle = "A & B", .body = "<i>x</i>"},
        [&](std::optional<std::string> error) { posted = !error; });
    EXPECT_TRUE(posted);
    ASSERT_TRUE(waitUntil([&] { return server.notifications().size() == 3; }));
    EXPECT_EQ(server.notifications()[2].body, "A &amp; B\n&lt;i&gt;x&lt;/i&gt;") << "the body is markup";
}

TEST_F(DesktopNotificationsTest, ClicksOnTheButtonAndTheBodySwitchToTheirProfile) {
    orvi::test::MemoryPreferencesStore prefs;
    orvi::ProfileStore store(prefs);
    store.addProfile(namedProfile(work, "Работа"));
    store.addProfile(namedProfile(ProfileId::generate(), "Дом"));
    const auto home = store.profiles()[2];
    int broughtToFront = 0;
    orvi::NotificationDelegate delegate(scheduler, *notifier, [&] { ++broughtToFront; });
    delegate.setProfileStore(&store);

    service->notifyUnread(store.profiles()[1], 0);
    service->notifyUnread(store.profiles()[1], 1);
    ASSERT_TRUE(waitUntil([&] { return server.notifications().size() == 1; }));
    const auto shown = server.notifications()[0];
    ASSERT_EQ(shown.actions.at(3), "Открыть профиль");
    server.invokeAction(shown.id, shown.actions.at(2));
    ASSERT_TRUE(waitUntil([&] { return store.activeProfile().id == work; }));
    EXPECT_EQ(broughtToFront, 1);

    // A server forgets a notification once one of its actions is invoked, so the body is
    // clicked on the next one.
    service->notifyUnread(home, 0);
    service->notifyUnread(home, 3);
    ASSERT_TRUE(waitUntil([&] { return server.notifications().size() == 2; }));
    server.invokeAction(server.notifications()[1].id, "default");
    ASSERT_TRUE(waitUntil([&] { return store.activeProfile().id == home.id; }));
    EXPECT_EQ(broughtToFront, 2);
}

TEST_F(DesktopNotificationsTest, PermissionInASandboxFollowsTheNotificationPortal) {
    DesktopNotifier sandboxed(app, DesktopNotifier::Sandbox::Sandboxed);
    orvi::NotificationService viaPortal(scheduler, sandboxed, *badge);

    viaPortal.requestPermissionIfNeeded();
    ASSERT_TRUE(waitUntil([&] { return log.containsSubstring("Notification permission not granted: "); }));

    // A stand-in portal that offers the notification interface.
    GDBusConnection* portal = orvi::test::newBusConnection();
    static const char* xml = R"(<node><interface name="org.freedesktop.portal.Notification">
        <property name="version" type="u" access="read"/></interface></node>)";
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml, nullptr);
    static const GDBusInterfaceVTable vtable{nullptr,
                                             [](GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                                const gchar*, GError**,
                                                gpointer) { return g_variant_new_uint32(2); },
                                             nullptr,
                                             {}};
    const guint registration = g_dbus_connection_register_object(
        portal, "/org/freedesktop/portal/desktop", node->interfaces[0], &vtable, nullptr, nullptr, nullptr);
    g_dbus_node_info_unref(node);
    bool owned = false;
    const guint owner = g_bus_own_name_on_connection(
        portal, "org.freedesktop.portal.Desktop", G_BUS_NAME_OWNER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, gpointer flag) { *static_cast<bool*>(flag) = true; }, nullptr,
        &owned, nullptr);
    ASSERT_TRUE(waitUntil([&] { return owned; }));

    viaPortal.requestPermissionIfNeeded();
    EXPECT_TRUE(waitUntil([&] { return log.contains("Notification permission granted"); }));

    g_bus_unown_name(owner);
    g_dbus_connection_unregister_object(portal, registration);
    g_object_unref(portal);
}

TEST_F(DesktopNotificationsTest, LauncherEntrySubscribersSeeTheTotal) {
    GDBusConnection* dock = orvi::test::newBusConnection();
    {
        orvi::test::SignalRecorder updates(dock, "com.canonical.Unity.LauncherEntry", "Update");
        ProfileId home = ProfileId::generate();
        service->notifyUnread(namedProfile(work, "Работа"), 3);
        service->notifyUnread(namedProfile(home, "Дом"), 4);
        service->notifyUnread(namedProfile(work, "Работа"), 0);
        service->notifyUnread(namedProfile(home, "Дом"), 0);
        ASSERT_TRUE(waitUntil([&] { return updates.emissions().size() == 4; }));

        struct Expected {
            gint64 count;
            gboolean visible;
        };
        const Expected expected[] = {{3, TRUE}, {7, TRUE}, {4, TRUE}, {0, FALSE}};
        for (std::size_t i = 0; i < 4; ++i) {
            const char* uri = nullptr;
            GVariant* properties = nullptr;
            g_variant_get(updates.emissions()[i].parameters, "(&s@a{sv})", &uri, &properties);
            gint64 count = -1;
            gboolean visible = !expected[i].visible;
            EXPECT_TRUE(g_variant_lookup(properties, "count", "x", &count));
            EXPECT_TRUE(g_variant_lookup(properties, "count-visible", "b", &visible));
            EXPECT_EQ(count, expected[i].count) << i;
            EXPECT_EQ(visible, expected[i].visible) << i;
            g_variant_unref(properties);
        }
        EXPECT_EQ(updates.emissions()[0].path, badge->objectPath());
    }
    g_object_unref(dock);
}

} // namespace
