#include "PrivateSessionBus.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "support/AppProcess.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::TempDir;

namespace {

constexpr auto kTimeout = 40s;

// The application as a process against the imitation service in another process, with its
// own session bus and XDG folders: what a user does, from launch to restart.
class SessionRestartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive());
        m_service = orvi::test::startServiceProcess(ORVI_IMITATION_SERVICE_BINARY,
                                                    {"--auto-login", "--log-requests"});
        ASSERT_TRUE(m_service.process);
    }

    std::unique_ptr<ChildProcess> launch() {
        auto env = orvi::test::confinedAppEnvironment(m_dir.path());
        env.insert(m_service.environment.begin(), m_service.environment.end());
        return ChildProcess::start(ORVI_APP_BINARY, {{}, env, {}});
    }
    bool serviceSees(const std::string& prefix) {
        return m_service.process
            ->waitForLine([&](const std::string& l) { return l.starts_with(prefix); }, kTimeout)
            .has_value();
    }
    std::string activeProfile() {
        auto stored = orvi::SqlitePreferencesStore::create(m_dir / "config/orvi-wrapper/preferences.sqlite3");
        EXPECT_TRUE(stored.ok());
        return stored.ok() ? stored.value()->string(orvi::keys::kActiveProfileId).value_or("") : "";
    }

    TempDir m_dir;
    orvi::test::ServiceProcess m_service;
};

} // namespace

TEST_F(SessionRestartTest, ALoggedInUserIsStillLoggedInAfterARestartWithTheEngineFolderDeleted) {
    {
        auto app = launch();
        ASSERT_TRUE(serviceSees("REQUEST GET web.orvi.test/ cookies=")) << "the service page is requested";
        ASSERT_TRUE(serviceSees("REQUEST POST web.orvi.test/login")) << "the user logs in through the page";
        ASSERT_TRUE(serviceSees("REQUEST GET web.orvi.test/api/chats")) << "the page is logged in";
        ASSERT_TRUE(app->waitForLine(
            [](const std::string& l) { return l.starts_with("   ✅ Login save attempt (t+1s) completed"); },
            kTimeout));
        app->sendSignal(SIGTERM);
        EXPECT_EQ(app->waitForExit(15s), 0);
        EXPECT_NE(std::find(app->lines().begin(), app->lines().end(), "   ✅ All data saved successfully"),
                  app->lines().end());
    }
    const auto profile = activeProfile();
    ASSERT_EQ(profile.size(), 36u);
    const auto engineFolder = m_dir / "data/orvi-wrapper/webkit" / profile;
    ASSERT_TRUE(std::filesystem::exists(engineFolder));
    std::filesystem::remove_all(engineFolder);

    auto again = launch();
    auto first = m_service.process->waitForLine(
        [](const std::string& l) { return l.starts_with("REQUEST GET web.orvi.test/ "); }, kTimeout);
    ASSERT_TRUE(first);
    EXPECT_NE(first->find("orvi_session"), std::string::npos)
        << "the restored session goes with the first request";
    EXPECT_NE(first->find("orvi_user"), std::string::npos);
    EXPECT_TRUE(serviceSees("REQUEST GET web.orvi.test/api/chats")) << "the page is logged in again";
    again->sendSignal(SIGTERM);
    EXPECT_EQ(again->waitForExit(15s), 0);
}
