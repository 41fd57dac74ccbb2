#include "PrivateSessionBus.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "core/profiles/ProfileStore.h"
#include "core/session/ContainerArchive.h"
#include "fakes/ManualScheduler.h"
#include "support/AppProcess.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::startsWith;
using orvi::test::TempDir;

namespace {

namespace fs = std::filesystem;
constexpr auto kTimeout = 40s;

struct NoClipboard final : orvi::platform::Clipboard {
    void setText(const std::string&) override {}
};

// The application as a process against the imitation service in another process, with its
// own session bus, and a set of XDG folders for each machine: whatever session one run ends
// with, through a login, the service's changes or a container from another machine, the next
// run starts with.
class SessionAcrossRunsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive()); }
    void startService(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.end(), {"--auto-login", "--log-sessions"});
        m_service = orvi::test::startServiceProcess(ORVI_IMITATION_SERVICE_BINARY, arguments);
        ASSERT_TRUE(m_service.process);
    }

    // Every profile's page polls the service, so the previous run's requests must not pass
    // for this run's.
    std::unique_ptr<ChildProcess> launch(const TempDir& machine,
                                         std::map<std::string, std::string> extra = {}) {
        m_service.process->skipOutput();
        extra.insert(m_service.environment.begin(), m_service.environment.end());
        return orvi::test::launchApp(machine.path(), extra);
    }
    std::optional<std::string> serviceLine(const std::string& prefix, const std::string& containing = "") {
        return m_service.process->waitForLine(
            [&](const std::string& l) {
                return l.starts_with(prefix) && l.find(containing) != std::string::npos;
            },
            kTimeout);
    }
    std::unique_ptr<orvi::SqlitePreferencesStore> preferences(const TempDir& machine) {
        auto store =
            orvi::SqlitePreferencesStore::create(machine / "config/orvi-wrapper/preferences.sqlite3");
        EXPECT_TRUE(store.ok());
        return std::move(store).value();
    }

    // The first page request of a new run.
    std::string firstRequestOfNextRun(std::unique_ptr<ChildProcess>& app) {
        app = launch(m_machine);
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

    void activate(const TempDir& machine, const orvi::ProfileId& id) {
        auto prefs = preferences(machine);
        orvi::ProfileStore(*prefs).setActiveProfile(id);
    }
    // Runs the application until its page is logged in (through the login form when
    // `logsIn`, once its session is saved); returns the first page request.
    std::string runUntilLoggedIn(const TempDir& machine, bool logsIn) {
        auto app = launch(machine);
        auto first = serviceLine("REQUEST GET web.orvi.test/ ");
        EXPECT_TRUE(serviceLine("REQUEST GET web.orvi.test/api/chats")) << "the page is logged in";
        if (logsIn) {
            EXPECT_TRUE(app->waitForExactLine("   ✅ Login save attempt (t+1s) completed", kTimeout));
        }
        app->sendSignal(SIGTERM);
        EXPECT_EQ(app->waitForExit(15s), 0);
        return first.value_or("");
    }
    static orvi::ContainerEnvironment environment(const TempDir& machine) {
        return {.documentsDir = machine / "home/Documents",
                .tempDir = fs::temp_directory_path(),
                .engineDataDir = machine / "data/orvi-wrapper/webkit"};
    }

    TempDir m_machine;
    TempDir m_newMachine;
    orvi::test::ServiceProcess m_service;
};

} // namespace

// The service is out when the first run starts; a user logs in once it is back, and the
// service then changes the session while the page is open.
TEST_F(SessionAcrossRunsTest,
       APageBackFromAnOutageLogsInAndThatLoginARotatedSessionAndALogoutSurviveTheNextRun) {
    startService({"--hang"});
    // The real time-out is half a minute.
    auto app = launch(m_machine, {{"ORVI_REQUEST_TIMEOUT_LIMIT", "2"}});
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
    const auto profile = preferences(m_machine)->string(orvi::keys::kActiveProfileId).value_or("");
    ASSERT_EQ(profile.size(), 36u);
    const auto engineFolder = m_machine / "data/orvi-wrapper/webkit" / profile;
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

TEST_F(SessionAcrossRunsTest, BothProfilesAreLoggedInOnTheNewMachineAfterImportAndRestart) {
    startService();
    for (const auto* machine : {&m_machine, &m_newMachine})
        fs::create_directories(*machine / "home/Documents");
    auto second = orvi::Profile::makeDefault();
    second.name = "Второй";
    {
        auto prefs = preferences(m_machine);
        orvi::ProfileStore profiles(*prefs);
        const auto first = profiles.activeProfile().id;
        profiles.addProfile(second);
        profiles.setActiveProfile(first);
    }
    // The second profile's page logs in too, in the background, while the first is on screen.
    runUntilLoggedIn(m_machine, true);
    activate(m_machine, second.id);
    runUntilLoggedIn(m_machine, false);

    orvi::test::ManualScheduler scheduler;
    NoClipboard clipboard;
    std::optional<fs::path> archive;
    {
        auto prefs = preferences(m_machine);
        orvi::ContainerArchive exporter(*prefs, scheduler, clipboard, environment(m_machine));
        exporter.exportContainer([&](std::optional<fs::path> path) { archive = path; });
        scheduler.runPending();
    }
    ASSERT_TRUE(archive);

    // The import lands under a running application, which then restarts itself.
    auto app = launch(m_newMachine);
    ASSERT_TRUE(serviceLine("REQUEST GET web.orvi.test/api/chats"));
    bool imported = false;
    {
        auto prefs = preferences(m_newMachine);
        orvi::ContainerArchive importer(*prefs, scheduler, clipboard, environment(m_newMachine));
        importer.importContainer(*archive,
                                 [&](orvi::Result<std::monostate> result) { imported = result.ok(); });
        scheduler.runPending();
    }
    ASSERT_TRUE(imported);
    EXPECT_TRUE(orvi::test::activateAppAction("restart"));
    ASSERT_TRUE(app->waitForLine(orvi::test::startsWith("🔄 Restarting"), kTimeout));
    // The new machine's own login went with its profile list: only the container's can go
    // with the first request of the restarted application.
    auto request = serviceLine("REQUEST GET web.orvi.test/ ");
    ASSERT_TRUE(request);
    EXPECT_NE(request->find("orvi_session"), std::string::npos) << *request;
    EXPECT_TRUE(serviceLine("REQUEST GET web.orvi.test/api/chats"));
    app->sendSignal(SIGTERM);
    EXPECT_EQ(app->waitForExit(15s), 0);

    activate(m_newMachine, second.id);
    const auto secondRequest = runUntilLoggedIn(m_newMachine, false);
    EXPECT_NE(secondRequest.find("orvi_session"), std::string::npos) << secondRequest;
}
