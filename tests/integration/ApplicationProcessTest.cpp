#include "PrivateSessionBus.h"
#include "core/base/Json.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "support/AppProcess.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <map>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::TempDir;

namespace {

constexpr auto kStartTimeout = 30s;
const std::string kAppeared = "👁️ MainWebViewScreen onAppear called";
const std::string kSavedSize = "💾 Saved window size: 600x900";
const std::string kTerminating = "🛑 Application will terminate - saving cookies and storage...";

class ApplicationProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive()); }

    std::unique_ptr<ChildProcess> launch(const std::map<std::string, std::string>& extra = {},
                                         std::optional<mode_t> umask = std::nullopt) {
        return orvi::test::launchApp(m_dir.path(), extra, umask);
    }

    std::filesystem::path preferencesFile() const {
        return m_dir / "config/orvi-wrapper/preferences.sqlite3";
    }

    // Ends the run with a signal and returns the termination's first two lines.
    std::vector<std::string> terminate(ChildProcess& app, int signal) {
        app.sendSignal(signal);
        auto status = app.waitForExit(15s);
        EXPECT_EQ(status, 0) << "the application ends normally on a signal";
        const auto& lines = app.lines();
        auto it = std::find(lines.begin(), lines.end(), kTerminating);
        EXPECT_NE(it, lines.end()) << "the termination save ran";
        return std::vector<std::string>(it, it + std::min<std::ptrdiff_t>(2, lines.end() - it));
    }

    TempDir m_dir;
};

} // namespace

// One user's two runs: the first, in an open umask, resizes the window while a second launch
// hands over to it; before the second the profile list is damaged.
TEST_F(ApplicationProcessTest, KeepsWindowSizeAndProfilesAcrossRunsAndNothingOpenToOthers) {
    std::string firstProfile;
    {
        auto app = launch({{"ORVI_TEST_RESIZE", "600,900"}}, 0);
        ASSERT_TRUE(app->waitForExactLine(kAppeared, kStartTimeout));
        auto second = launch();
        EXPECT_EQ(second->waitForExit(20s), 0);
        EXPECT_EQ(std::count(second->lines().begin(), second->lines().end(),
                             "🚀 OrviWrapper_macOSApp init() called"),
                  0)
            << "the second process builds nothing";
        EXPECT_TRUE(app->waitForExactLine(kSavedSize, 10s)) << "the settled resize is saved";

        EXPECT_EQ(terminate(*app, SIGTERM), (std::vector<std::string>{kTerminating, kSavedSize}))
            << "the window size is saved first, then the page's session";
    }

    // The engine's cookie database is private itself; whatever else the web engine writes with
    // the umask's mode sits inside a 0700 folder that guards it.
    int folders = 0;
    for (const char* xdg : {"config", "data", "cache"}) {
        const auto appFolder = m_dir / xdg / "orvi-wrapper";
        if (!std::filesystem::exists(appFolder))
            continue;
        ++folders;
        EXPECT_EQ(orvi::test::fileMode(appFolder), 0700u) << appFolder;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(appFolder)) {
            if (entry.path().filename().string().starts_with("cookies.sqlite")) {
                EXPECT_EQ(orvi::test::fileMode(entry.path()), 0600u) << entry.path();
            }
        }
    }
    EXPECT_GE(folders, 1);

    const std::string kept = "11111111-1111-4111-8111-111111111111";
    const std::string folderOnly = "22222222-2222-4222-8222-222222222222";
    const std::string cookiesOnly = "33333333-3333-4333-8333-333333333333";
    std::string damaged;
    {
        auto stored = orvi::SqlitePreferencesStore::create(preferencesFile());
        ASSERT_TRUE(stored.ok());
        EXPECT_EQ(stored.value()->number(orvi::keys::kWindowWidth), 600);
        EXPECT_EQ(stored.value()->number(orvi::keys::kWindowHeight), 900);
        EXPECT_TRUE(stored.value()->data(orvi::keys::kProfiles));
        firstProfile = stored.value()->string(orvi::keys::kActiveProfileId).value_or("");
        ASSERT_EQ(firstProfile.size(), 36u);
        damaged = R"([null, {"id":")" + kept + R"(","name":"Работа"}, {"id":")" + firstProfile +
                  R"(","name":"Основной"}])";
        stored.value()->setData(orvi::keys::kProfiles, damaged);
        stored.value()->setData(std::string(orvi::keys::kCookiesPrefix) + cookiesOnly, "[]");
    }
    std::filesystem::create_directories(m_dir / "data/orvi-wrapper/webkit" / folderOnly);

    auto again = launch();
    ASSERT_TRUE(again->waitForExactLine(kAppeared, kStartTimeout));
    EXPECT_EQ(terminate(*again, SIGINT), (std::vector<std::string>{kTerminating, kSavedSize}))
        << "the window opened at the remembered size";

    // The good records are kept and orphaned sessions come back as profiles of their own.
    auto store = orvi::SqlitePreferencesStore::create(preferencesFile());
    ASSERT_TRUE(store.ok());
    const auto list = orvi::parseJson(store.value()->data(orvi::keys::kProfiles).value_or(""));
    ASSERT_TRUE(list && list->is_array());
    std::map<std::string, std::string> names;
    for (const auto& profile : *list)
        names[profile.value("id", "")] = profile.value("name", "");
    EXPECT_EQ(names, (std::map<std::string, std::string>{{kept, "Работа"},
                                                         {firstProfile, "Основной"},
                                                         {folderOnly, "Восстановленный профиль 1"},
                                                         {cookiesOnly, "Восстановленный профиль 2"}}));
    const auto copies = store.value()->keysWithPrefix("OrviWrapper.Profiles.Unreadable.");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(store.value()->data(copies[0]), damaged);
}
