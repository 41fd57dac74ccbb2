#include "PrivateSessionBus.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "support/AppProcess.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::startsWith;

namespace {

constexpr auto kTimeout = 40s;

// The application as a process against the imitation service in another process, with its
// own session bus and XDG folders: the service is out when the first run starts, a user logs
// in once it is back, and the service changes the session while the page is open; each run
// must start with the session the last one ended with.
class SessionRestartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive());
        m_service = orvi::test::startServiceProcess(ORVI_IMITATION_SERVICE_BINARY,
                                                    {"--hang", "--auto-login", "--log-sessions"});
        ASSERT_TRUE(m_service.process);
    }

    std::unique_ptr<ChildProcess> launch() {
        auto environment = m_service.environment;
        // The real time-out is half a minute.
        environment["ORVI_REQUEST_TIMEOUT_LIMIT"] = "2";
        return orvi::test::launchApp(m_dir.path(), environment);
    }
    std::optional<std::string> serviceLine(const std::string& prefix, const std::string& containing = "") {
        return m_service.process->waitForLine(
            [&](const std::string& l) {
                return l.starts_with(prefix) && l.find(containing) != std::string::npos;
            },
            kTimeout);
    }
    // The first page request of a new run.
    std::string firstRequestOfNextRun(std::unique_ptr<ChildProcess>& app) {
        app = launch();
        const auto first = serviceLine("REQUEST GET web.orvi.test/ ");
        EXPECT_TRUE(first);
        return first.value_or("<no request> session=<none>");
    }
    static std::string sessionOf(const std::string& line) { return line.substr(line.find(" session=") + 9); }
    void setOff(const std::string& event) {
        ASSERT_TRUE(orvi::test::askService(m_service, "/control/session?next=" + event));
    }
    // Gives the application the moment it takes to notice a change, without asserting that
    // it does: the restart after it tells.
    static void letItNotice(ChildProcess& app) {
        if (app.waitForLine(startsWith("🔄 Cookies changed"), 5s))
            app.waitForLine(startsWith("   ✅ Saved "), 3s);
    }
    std::string activeProfile() {
        auto stored = orvi::SqlitePreferencesStore::create(m_dir / "config/orvi-wrapper/preferences.sqlite3");
        EXPECT_TRUE(stored.ok());
        return stored.ok() ? stored.value()->string(orvi::keys::kActiveProfileId).value_or("") : "";
    }

    orvi::test::TempDir m_dir;
    orvi::test::ServiceProcess m_service;
};

} // namespace

TEST_F(SessionRestartTest,
       APageBackFromAnOutageLogsInAndThatLoginARotatedSessionAndALogoutSurviveTheNextRun) {
    auto app = launch();
    ASSERT_TRUE(serviceLine("REQUEST GET web.orvi.test/ "));
    ASSERT_TRUE(app->waitForLine(startsWith("⚠️ Page could not load"), 10s)) << "the trouble is shown";
    m_service.process->sendSignal(SIGUSR1);
    ASSERT_TRUE(m_service.process->waitForExactLine("OUTAGE OVER", 5s));
    // With nobody pressing anything, the page comes back as the working client and logs in.
    EXPECT_TRUE(app->waitForLine(startsWith("✅ Page loaded, trouble state cleared"), 15s));
    ASSERT_TRUE(serviceLine("REQUEST POST web.orvi.test/login")) << "the user logs in through the page";
    ASSERT_TRUE(app->waitForExactLine("   ✅ Login save attempt (t+3s) completed", kTimeout));
    app->sendSignal(SIGTERM);
    EXPECT_EQ(app->waitForExit(15s), 0);
    EXPECT_NE(std::find(app->lines().begin(), app->lines().end(), "   ✅ All data saved successfully"),
              app->lines().end());

    // The saved copy alone brings the login back when the engine's own folder is gone.
    const auto profile = activeProfile();
    ASSERT_EQ(profile.size(), 36u);
    const auto engineFolder = m_dir / "data/orvi-wrapper/webkit" / profile;
    ASSERT_TRUE(std::filesystem::exists(engineFolder));
    std::filesystem::remove_all(engineFolder);
    const auto first = firstRequestOfNextRun(app);
    const auto restored = sessionOf(first);
    EXPECT_TRUE(restored.starts_with("s-")) << "the restored session goes with the first request: " << first;
    EXPECT_NE(first.find("orvi_user"), std::string::npos) << first;
    EXPECT_TRUE(serviceLine("REQUEST GET web.orvi.test/api/chats", restored)) << "logged in again";

    // A session the service rotates survives a kill before any periodic save.
    setOff("rotate");
    const auto seen = serviceLine("REQUEST GET web.orvi.test/api/chats", "-rotated-");
    ASSERT_TRUE(seen) << "the page took the new session cookie";
    const auto rotated = sessionOf(*seen);
    letItNotice(*app);
    app->sendSignal(SIGKILL);
    ASSERT_TRUE(app->waitForExit(10s));
    EXPECT_EQ(sessionOf(firstRequestOfNextRun(app)), rotated);
    EXPECT_TRUE(serviceLine("REQUEST GET web.orvi.test/api/chats", rotated)) << "still logged in";

    // A logout by the service is not undone by the next run.
    setOff("end");
    ASSERT_TRUE(serviceLine("REQUEST GET web.orvi.test/api/chats cookies= ")) << "the jar is empty";
    letItNotice(*app);
    app->sendSignal(SIGTERM);
    EXPECT_EQ(app->waitForExit(15s), 0);
    EXPECT_EQ(sessionOf(firstRequestOfNextRun(app)), "") << "no session comes back";
}
