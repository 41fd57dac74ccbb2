#include "PrivateSessionBus.h"
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
using orvi::test::TempDir;

namespace {

namespace fs = std::filesystem;
constexpr auto kTimeout = 40s;

struct NoClipboard final : orvi::platform::Clipboard {
    void setText(const std::string&) override {}
};

// Two machines as two sets of XDG folders, the application as a process against the
// imitation service: what a user moving to a new computer does.
class ContainerRoundTripTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive());
        m_service = orvi::test::startServiceProcess(ORVI_IMITATION_SERVICE_BINARY,
                                                    {"--auto-login", "--log-requests"});
        ASSERT_TRUE(m_service.process);
        for (const auto* machine : {&m_old, &m_new})
            fs::create_directories(machine->path() / "home" / "Documents");
    }

    // Every profile's page polls the service, so the previous run's requests must not pass
    // for this run's.
    std::unique_ptr<ChildProcess> launch(const TempDir& machine) {
        m_service.process->skipOutput();
        return orvi::test::launchApp(machine.path(), m_service.environment);
    }
    std::optional<std::string> serviceLine(const std::string& prefix) {
        return m_service.process->waitForLine(orvi::test::startsWith(prefix), kTimeout);
    }

    std::unique_ptr<orvi::SqlitePreferencesStore> preferences(const TempDir& machine) {
        auto store =
            orvi::SqlitePreferencesStore::create(machine.path() / "config/orvi-wrapper/preferences.sqlite3");
        EXPECT_TRUE(store.ok());
        return std::move(store).value();
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

    TempDir m_old;
    TempDir m_new;
    orvi::test::ServiceProcess m_service;
};

} // namespace

TEST_F(ContainerRoundTripTest, BothProfilesAreLoggedInOnTheNewMachineAfterImportAndRestart) {
    auto second = orvi::Profile::makeDefault();
    second.name = "Второй";
    {
        auto prefs = preferences(m_old);
        orvi::ProfileStore profiles(*prefs);
        const auto first = profiles.activeProfile().id;
        profiles.addProfile(second);
        profiles.setActiveProfile(first);
    }
    // The second profile's page logs in too, in the background, while the first is on screen.
    runUntilLoggedIn(m_old, true);
    activate(m_old, second.id);
    runUntilLoggedIn(m_old, false);

    orvi::test::ManualScheduler scheduler;
    NoClipboard clipboard;
    std::optional<fs::path> archive;
    {
        auto prefs = preferences(m_old);
        orvi::ContainerArchive exporter(*prefs, scheduler, clipboard, environment(m_old));
        exporter.exportContainer([&](std::optional<fs::path> path) { archive = path; });
        scheduler.runPending();
    }
    ASSERT_TRUE(archive);

    // The import lands under a running application, which then restarts itself.
    auto app = launch(m_new);
    ASSERT_TRUE(serviceLine("REQUEST GET web.orvi.test/api/chats"));
    bool imported = false;
    {
        auto prefs = preferences(m_new);
        orvi::ContainerArchive importer(*prefs, scheduler, clipboard, environment(m_new));
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

    activate(m_new, second.id);
    const auto secondRequest = runUntilLoggedIn(m_new, false);
    EXPECT_NE(secondRequest.find("orvi_session"), std::string::npos) << secondRequest;
}
