#include "DBusTestSupport.h"
#include "PrivateSessionBus.h"
#include "RecordingNotificationServer.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "core/profiles/ProfileStore.h"
#include "support/AppProcess.h"
#include "support/NamedProfile.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::waitUntil;

namespace {

// Output is collected while the main context keeps turning: the notification server and the
// tray host answer the application from this process.
void collect(ChildProcess& process) {
    process.waitForLine([](const std::string&) { return false; }, 5ms);
}

// Whose session a service log line "REQUEST GET <web host><path> cookies=... session=s-<user>-<n>"
// carried, when it asked for that path.
std::optional<std::string> requestUser(const std::string& line, const std::string& path) {
    const std::string marker = " session=s-";
    const auto session = line.find(marker);
    if (!line.starts_with("REQUEST GET web.orvi.test" + path + " cookies=") || session == std::string::npos)
        return std::nullopt;
    const auto user = line.substr(session + marker.size());
    return user.substr(0, user.find('-'));
}

// Three accounts live side by side in the real application, the third added from the profiles
// screen while it runs: each logs in as its own user (so no session crosses over), a message to
// one in the background reaches the user through its own notification and tray line while the
// page on screen is left alone, the notification and a reload each act on
// the right account, and "Выход" in the tray ends it.
TEST(BackgroundProfilesProcess,
     AccountsKeepTheirOwnSessionsAndABackgroundRiseNotifiesOnceAndSwitchesOnAClick) {
    ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive()) << "integration tests need their own bus";
    orvi::test::TempDir dir;
    g_autoptr(GDBusConnection) host = orvi::test::newBusConnection();
    orvi::test::RecordingNotificationServer notifications;
    ASSERT_TRUE(notifications.start());
    auto watcher = ChildProcess::start("/usr/bin/status-notifier-watcher", {});
    ASSERT_TRUE(
        waitUntil([&] { return orvi::test::nameHasOwner(host, "org.kde.StatusNotifierWatcher"); }, 10.0));
    {
        auto prefs = orvi::SqlitePreferencesStore::create(dir / "config/orvi-wrapper/preferences.sqlite3");
        ASSERT_TRUE(prefs.ok());
        orvi::ProfileStore(*prefs.value())
            .addProfile(orvi::test::namedProfile(orvi::ProfileId::generate(), "Работа"));
        // Each account logs in as the user the test names when it visits it, not at start-up.
        prefs.value()->setBoolean(orvi::keys::kLoadAllProfilesAtStartup, false);
    }
    auto service = orvi::test::startServiceProcess(ORVI_IMITATION_SERVICE_BINARY,
                                                   {"0", "--auto-login", "--log-sessions"});
    ASSERT_TRUE(service.process);

    const auto control = [&](const std::string& pathAndQuery) {
        EXPECT_TRUE(orvi::test::askService(service, pathAndQuery)) << pathAndQuery;
    };
    control("/control/next-user?name=anna");
    auto environment = service.environment;
    environment["ORVI_TEST_SCREENS"] = "1";
    auto app = orvi::test::launchApp(dir.path(), environment);
    const std::string itemName = "org.kde.StatusNotifierItem-" + std::to_string(app->pid()) + "-1";

    const auto requests = [&](const std::string& user, const std::string& path) {
        return std::count_if(service.process->lines().begin(), service.process->lines().end(),
                             [&](const std::string& line) { return requestUser(line, path) == user; });
    };
    const auto pageLoads = [&](const std::string& user) { return requests(user, "/"); };
    // A client running its script asks for its chat list.
    const auto running = [&](const std::string& user) {
        return pageLoads(user) == 1 && requests(user, "/api/chats") > 0;
    };
    const auto waitFor = [&](const std::function<bool()>& condition, double seconds = 15.0) {
        return waitUntil(
            [&] {
                collect(*app);
                collect(*service.process);
                return condition();
            },
            seconds);
    };
    const auto menuEntry = [&](const std::string& label) {
        const auto entries = orvi::test::menuLayout(host, itemName);
        const auto found =
            std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.label == label; });
        return found == entries.end() ? std::optional<int>() : found->id;
    };
    const auto menuHas = [&](const std::string& label) { return menuEntry(label).has_value(); };
    const auto menuText = [&] {
        std::string text;
        for (const auto& entry : orvi::test::menuLayout(host, itemName))
            text += entry.label + "; ";
        return text;
    };
    const auto act = [&](const std::string& action, const std::string& parameter = "[]") {
        EXPECT_TRUE(orvi::test::activateAppAction(action, parameter)) << action << " " << parameter;
    };
    const auto switchTo = [&](int position) {
        act("switch-profile", "[<" + std::to_string(position) + ">]");
    };

    // Each account is visited once, logging in as its own user, and the first one comes back
    // on screen.
    ASSERT_TRUE(waitFor([&] { return running("anna"); }, 20.0)) << "the first account logs in";
    control("/control/next-user?name=boris");
    switchTo(2);
    ASSERT_TRUE(waitFor([&] { return running("boris"); })) << "the second account logs in";
    control("/control/next-user?name=vera");
    act("profiles");
    for (const char* step : {"add", "form-name:Дом", "form-save", "close"})
        act("test-screen", std::string("[<'") + step + "'>]");
    switchTo(3);
    ASSERT_TRUE(waitFor([&] { return running("vera"); })) << "the third account logs in";
    switchTo(1);
    ASSERT_TRUE(waitFor([&] {
        return menuHas("Активный профиль: Основной") && menuHas("Работа (3)") && menuHas("Дом (3)");
    })) << "every account's count is in the tray: "
        << menuText();
    EXPECT_TRUE(notifications.notifications().empty()) << "what an account had at login is not news";

    control("/control/user-unread?user=boris&chat=0&count=5");
    ASSERT_TRUE(waitFor([&] { return !notifications.notifications().empty() && menuHas("Работа (6)"); }))
        << menuText();
    // Two more polls of every page: a repeated or a stray notification would arrive by then.
    waitFor([] { return false; }, 4.5);
    std::string shown;
    for (const auto& n : notifications.notifications())
        shown += n.summary + ": " + n.body + " (replaces " + std::to_string(n.replacesId) + "); ";
    ASSERT_EQ(notifications.notifications().size(), 1u) << shown;
    EXPECT_EQ(notifications.notifications()[0].summary, "Работа");
    EXPECT_TRUE(menuHas("Основной (3)") && menuHas("Дом (3)")) << "the other accounts kept their counts";
    EXPECT_EQ(pageLoads("anna"), 1) << "the page on screen was never reloaded";
    act("reload");
    EXPECT_TRUE(waitFor([&] { return pageLoads("anna") == 2; })) << "a reload asks again as the same account";

    // What a notification server does with a click on the body, and then on the button of the
    // next account's notification.
    notifications.invokeAction(notifications.notifications()[0].id, "default");
    EXPECT_TRUE(waitFor([&] { return menuHas("Активный профиль: Работа"); })) << menuText();
    control("/control/user-unread?user=vera&chat=0&count=4");
    ASSERT_TRUE(waitFor([&] { return notifications.notifications().size() == 2; }));
    const auto button = notifications.notifications()[1];
    EXPECT_EQ(button.summary, "Дом");
    notifications.invokeAction(button.id, button.actions.at(2));
    EXPECT_TRUE(waitFor([&] { return menuHas("Активный профиль: Дом"); })) << menuText();
    const auto quit = menuEntry("Выход");
    ASSERT_TRUE(quit) << menuText();
    orvi::test::clickMenuEntry(host, itemName, *quit);
    EXPECT_EQ(app->waitForExit(15s), 0) << "\"Выход\" ends the application normally";
}

} // namespace
