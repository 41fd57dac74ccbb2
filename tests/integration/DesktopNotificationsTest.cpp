#include "DBusTestSupport.h"
#include "PrivateSessionBus.h"
#include "RecordingNotificationServer.h"
#include "core/notify/NotificationService.h"
#include "fakes/LogCapture.h"
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
    EXPECT_EQ(first.actions.back(), "Открыть профиль") << "the button's text";

    service->notifyUnread(namedProfile(work, "Работа & <Дом>"), 5);
    ASSERT_TRUE(waitUntil([&] { return server.notifications().size() == 2; }));
    EXPECT_EQ(server.notifications()[1].replacesId, first.id) << "one notification per profile";

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

TEST_F(DesktopNotificationsTest, PermissionInASandboxFollowsTheNotificationPortal) {
    DesktopNotifier sandboxed(app, DesktopNotifier::Sandbox::Sandboxed);
    orvi::NotificationService viaPortal(scheduler, sandboxed, *badge);

    viaPortal.requestPermissionIfNeeded();
    ASSERT_TRUE(waitUntil([&] { return log.containsSubstring("Notification permission not granted: "); }));

    // A stand-in portal that offers the notification interface.
    g_autoptr(GDBusConnection) portal = orvi::test::newBusConnection();
    const orvi::platform::DBusObjectExport object(
        portal, "/org/freedesktop/portal/desktop",
        R"(<node><interface name="org.freedesktop.portal.Notification">
        <property name="version" type="u" access="read"/></interface></node>)",
        nullptr,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GError**, gpointer) {
            return g_variant_new_uint32(2);
        },
        nullptr, "❌ Portal not exported: ");
    const guint owner = orvi::test::ownName(portal, "org.freedesktop.portal.Desktop");
    ASSERT_NE(owner, 0u);

    viaPortal.requestPermissionIfNeeded();
    EXPECT_TRUE(waitUntil([&] { return log.contains("Notification permission granted"); }));
    g_bus_unown_name(owner);
}

TEST_F(DesktopNotificationsTest, LauncherEntrySubscribersSeeTheCountAndItsVisibility) {
    g_autoptr(GDBusConnection) dock = orvi::test::newBusConnection();
    orvi::test::SignalRecorder updates(dock, "com.canonical.Unity.LauncherEntry", "Update");
    service->notifyUnread(namedProfile(work, "Работа"), 3);
    service->notifyUnread(namedProfile(work, "Работа"), 0);
    ASSERT_TRUE(waitUntil([&] { return updates.emissions().size() == 2; }));

    std::vector<std::pair<gint64, gboolean>> shown;
    for (const auto& update : updates.emissions()) {
        g_autoptr(GVariant) properties = g_variant_get_child_value(update, 1);
        auto& [count, visible] = shown.emplace_back(-1, 2);
        g_variant_lookup(properties, "count", "x", &count);
        g_variant_lookup(properties, "count-visible", "b", &visible);
    }
    EXPECT_EQ(shown, (std::vector<std::pair<gint64, gboolean>>{{3, TRUE}, {0, FALSE}}));
}

} // namespace
