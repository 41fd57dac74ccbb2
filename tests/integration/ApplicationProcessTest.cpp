#include "core/base/Json.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::TempDir;

namespace {

constexpr auto kStartTimeout = 30s;
const std::string kAppeared = "👁️ MainWebViewScreen onAppear called";
const std::string kTerminating = "🛑 Application will terminate - saving cookies and storage...";

unsigned mode(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Every path below the folder that someone other than the owner can reach and use: each
// folder on the way lets them through and the path itself grants them some access.
std::vector<std::string> pathsOpenToOthers(const std::filesystem::path& top) {
    std::vector<std::string> found;
    const auto walk = [&](const auto& self, const std::filesystem::path& folder, bool reachable) -> void {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            struct stat info {};
            if (::lstat(entry.path().c_str(), &info) != 0 || S_ISLNK(info.st_mode))
                continue;
            const bool exposed = reachable && (info.st_mode & 0077) != 0;
            if (exposed)
                found.push_back(entry.path().string());
            if (S_ISDIR(info.st_mode))
                self(self, entry.path(), reachable && (info.st_mode & 0011) != 0);
        }
    };
    struct stat info {};
    if (::stat(top.c_str(), &info) == 0 && (info.st_mode & 0077) != 0)
        found.push_back(top.string());
    walk(walk, top, ::stat(top.c_str(), &info) == 0 && (info.st_mode & 0011) != 0);
    return found;
}

bool hasLine(const ChildProcess& app, const std::string& line) {
    return std::find(app.lines().begin(), app.lines().end(), line) != app.lines().end();
}

// Each test has its own session bus, so that the single-instance rule of one test's
// application never hands its launch to another test's running instance.
class ApplicationProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_bus = ChildProcess::start("/usr/bin/dbus-daemon",
                                    {{"--session", "--nofork", "--print-address=1"}, {}, {}});
        auto address = m_bus->waitForLine([](const std::string& l) { return l.starts_with("unix:"); }, 10s);
        ASSERT_TRUE(address) << "no private session bus";
        m_busAddress = *address;
        std::filesystem::create_directories(m_dir / "runtime");
        std::filesystem::permissions(m_dir / "runtime", std::filesystem::perms::owner_all);
    }

    std::unique_ptr<ChildProcess> launch(std::map<std::string, std::string> extra = {},
                                         std::optional<mode_t> umask = std::nullopt) {
        std::map<std::string, std::string> env = {
            {"HOME", (m_dir / "home").string()},
            {"XDG_CONFIG_HOME", (m_dir / "config").string()},
            {"XDG_DATA_HOME", (m_dir / "data").string()},
            {"XDG_CACHE_HOME", (m_dir / "cache").string()},
            {"XDG_RUNTIME_DIR", (m_dir / "runtime").string()},
            {"DBUS_SESSION_BUS_ADDRESS", m_busAddress},
            {"GSK_RENDERER", "cairo"},
            {"NO_AT_BRIDGE", "1"},
        };
        for (auto& [k, v] : extra)
            env[k] = v;
        return ChildProcess::start(ORVI_APP_BINARY, {{}, env, umask});
    }

    std::filesystem::path preferencesFile() const {
        return m_dir / "config/orvi-wrapper/preferences.sqlite3";
    }

    // Ends the run with a signal and returns the lines logged from the termination on.
    std::vector<std::string> terminate(ChildProcess& app, int signal) {
        app.sendSignal(signal);
        auto status = app.waitForExit(15s);
        EXPECT_EQ(status, 0) << "the application ends normally on a signal";
        const auto& lines = app.lines();
        auto it = std::find(lines.begin(), lines.end(), kTerminating);
        EXPECT_NE(it, lines.end()) << "the termination save ran";
        return std::vector<std::string>(it, lines.end());
    }

    TempDir m_dir;
    std::unique_ptr<ChildProcess> m_bus;
    std::string m_busAddress;
};

} // namespace

TEST_F(ApplicationProcessTest, StartsLogsItsChecksAndKeepsTheResizedWindowSizeAcrossRuns) {
    {
        auto app = launch({{"ORVI_TEST_RESIZE", "600,900"}});
        ASSERT_TRUE(app->waitForExactLine(kAppeared, kStartTimeout));
        for (const char* expected :
             {"ℹ️ No saved profiles found, creating default profile",
              "🚀 OrviWrapper_macOSApp init() called", "✅ CFBundleDisplayName found: OrviWrapper",
              "✅ Bundle Identifier: com.orviwrapper.OrviWrapper"})
            EXPECT_TRUE(hasLine(*app, expected)) << expected;
        EXPECT_TRUE(app->waitForExactLine("💾 Saved window size: 600x900", 10s))
            << "the settled resize is saved";

        const auto tail = terminate(*app, SIGTERM);
        ASSERT_GE(tail.size(), 2u);
        EXPECT_EQ(std::vector<std::string>(tail.begin(), tail.begin() + 2),
                  (std::vector<std::string>{kTerminating, "💾 Saved window size: 600x900"}))
            << "the window size is saved first, then the page's session";
    }
    {
        auto stored = orvi::SqlitePreferencesStore::create(preferencesFile());
        ASSERT_TRUE(stored.ok());
        EXPECT_EQ(stored.value()->number(orvi::keys::kWindowWidth), 600);
        EXPECT_EQ(stored.value()->number(orvi::keys::kWindowHeight), 900);
        EXPECT_TRUE(stored.value()->data(orvi::keys::kProfiles));
    }
    auto again = launch();
    ASSERT_TRUE(again->waitForExactLine(kAppeared, kStartTimeout));
    EXPECT_TRUE(hasLine(*again, "✅ Loaded 1 profiles from UserDefaults"));
    const auto tail = terminate(*again, SIGINT);
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(tail.begin(), tail.begin() + 2),
              (std::vector<std::string>{kTerminating, "💾 Saved window size: 600x900"}))
        << "the window opened at the remembered size";
}

TEST_F(ApplicationProcessTest, NoSessionFileOrFolderIsOpenToOthersUnderAnOpenUmask) {
    auto app = launch({}, 0);
    ASSERT_TRUE(app->waitForExactLine(kAppeared, kStartTimeout));
    terminate(*app, SIGTERM);

    // Our own files and the engine's cookie database are private themselves; whatever else
    // the web engine writes with the umask's mode sits inside a 0700 folder that guards it.
    EXPECT_EQ(mode(m_dir / "config/orvi-wrapper"), 0700u);
    EXPECT_EQ(mode(preferencesFile()), 0600u);
    for (const char* companion : {"-wal", "-shm"}) {
        const auto path = preferencesFile().string() + companion;
        if (std::filesystem::exists(path)) {
            EXPECT_EQ(mode(path), 0600u) << path;
        }
    }
    int folders = 0;
    for (const char* xdg : {"config", "data", "cache"}) {
        const auto appFolder = m_dir / xdg / "orvi-wrapper";
        if (!std::filesystem::exists(appFolder))
            continue;
        ++folders;
        EXPECT_EQ(mode(appFolder), 0700u) << appFolder;
        EXPECT_EQ(pathsOpenToOthers(appFolder), std::vector<std::string>()) << appFolder;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(appFolder)) {
            if (entry.path().filename().string().starts_with("cookies.sqlite")) {
                EXPECT_EQ(mode(entry.path()), 0600u) << entry.path();
            }
        }
    }
    EXPECT_GE(folders, 1);
}

TEST_F(ApplicationProcessTest, ADamagedPreferencesFileIsSetAsideAndTheApplicationStillStarts) {
    std::filesystem::create_directories(preferencesFile().parent_path());
    std::ofstream(preferencesFile()) << "definitely not an SQLite database";
    auto app = launch();
    ASSERT_TRUE(app->waitForExactLine(kAppeared, kStartTimeout));
    EXPECT_TRUE(std::any_of(app->lines().begin(), app->lines().end(),
                            [](const std::string& l) { return l.starts_with("⚠️ Preferences file "); }));
    int aside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(preferencesFile().parent_path()))
        aside += entry.path().filename().string().starts_with("preferences.sqlite3.corrupt-");
    EXPECT_EQ(aside, 1);
    terminate(*app, SIGTERM);
}

TEST_F(ApplicationProcessTest, ASecondLaunchHandsOverToTheRunningInstance) {
    auto first = launch();
    ASSERT_TRUE(first->waitForExactLine(kAppeared, kStartTimeout));
    auto second = launch();
    EXPECT_EQ(second->waitForExit(20s), 0);
    EXPECT_EQ(
        std::count(second->lines().begin(), second->lines().end(), "🚀 OrviWrapper_macOSApp init() called"), 0)
        << "the second process builds nothing";
    terminate(*first, SIGTERM);
}

TEST_F(ApplicationProcessTest, ADamagedProfileListKeepsItsGoodRecordsAndGivesOrphanedSessionsBack) {
    const std::string kept = "11111111-1111-4111-8111-111111111111";
    const std::string folderOnly = "22222222-2222-4222-8222-222222222222";
    const std::string cookiesOnly = "33333333-3333-4333-8333-333333333333";
    const std::string damaged = R"([null, {"id":")" + kept + R"(","name":"Работа"}])";
    {
        auto store = orvi::SqlitePreferencesStore::create(preferencesFile());
        ASSERT_TRUE(store.ok());
        store.value()->setData(orvi::keys::kProfiles, damaged);
        store.value()->setData(std::string(orvi::keys::kCookiesPrefix) + cookiesOnly, "[]");
    }
    std::filesystem::create_directories(m_dir / "data/orvi-wrapper/webkit" / folderOnly);

    auto app = launch();
    ASSERT_TRUE(app->waitForExactLine(kAppeared, kStartTimeout));
    terminate(*app, SIGTERM);

    auto store = orvi::SqlitePreferencesStore::create(preferencesFile());
    ASSERT_TRUE(store.ok());
    const auto list = orvi::parseJson(store.value()->data(orvi::keys::kProfiles).value_or(""));
    ASSERT_TRUE(list && list->is_array());
    std::map<std::string, std::string> names;
    for (const auto& profile : *list)
        names[profile.value("id", "")] = profile.value("name", "");
    EXPECT_EQ(names, (std::map<std::string, std::string>{{kept, "Работа"},
                                                         {folderOnly, "Восстановленный профиль 1"},
                                                         {cookiesOnly, "Восстановленный профиль 2"}}));
    const auto copies = store.value()->keysWithPrefix("OrviWrapper.Profiles.Unreadable.");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(store.value()->data(copies[0]), damaged);
}
