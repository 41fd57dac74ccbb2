#include "PrivateSessionBus.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "support/AppProcess.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Files the user cannot write, as someone else's are. Root writes anything, so the test needs
// root to hand the files to another uid and then runs the application without the capabilities
// that would let it ignore file permissions. The store's own handling of every kind of
// unwritable file is a unit test; this one checks what the window shows and that the
// application around the store leaves the folder alone.
TEST(UnwritablePreferences, AReadOnlyFolderOrSomeoneElsesFileIsLeftAloneAndTheWindowSaysNothingIsSaved) {
    ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive());
    if (::geteuid() != 0)
        GTEST_SKIP() << "handing files to another uid needs root";
    for (const bool folderTooIsSomeoneElses : {true, false}) {
        SCOPED_TRACE(folderTooIsSomeoneElses ? "read-only folder" : "unreadable file in our folder");
        orvi::test::TempDir dir;
        const auto folder = dir / "config/orvi-wrapper";
        const auto file = folder / "preferences.sqlite3";
        const std::string profileId = "11111111-1111-4111-8111-111111111111";
        {
            auto store = orvi::SqlitePreferencesStore::create(file);
            ASSERT_TRUE(store.ok());
            store.value()->setData(orvi::keys::kProfiles,
                                   R"([{"id":")" + profileId + R"(","name":"Работа"}])");
            store.value()->setString(orvi::keys::kActiveProfileId, profileId);
        }
        ASSERT_EQ(::chown(file.c_str(), 4242, 4242), 0);
        if (folderTooIsSomeoneElses) {
            ASSERT_EQ(::chown(folder.c_str(), 4242, 4242), 0);
            std::filesystem::permissions(folder, std::filesystem::perms(0755));
        }
        std::filesystem::permissions(file, std::filesystem::perms(folderTooIsSomeoneElses ? 0644 : 0600));
        const auto folderNames = [&] {
            std::set<std::string> names;
            for (const auto& entry : std::filesystem::directory_iterator(folder))
                names.insert(entry.path().filename().string());
            return names;
        };
        const auto before = orvi::test::readFile(file);
        const auto names = folderNames();

        auto env = orvi::test::confinedAppEnvironment(dir.path());
        env["ORVI_TEST_SCREENS"] = "1";
        auto app = orvi::test::ChildProcess::start(
            "/usr/bin/setpriv",
            {{"--bounding-set", "-dac_override,-dac_read_search,-fowner,-chown", "--", ORVI_APP_BINARY},
             env,
             {}});
        EXPECT_TRUE(app->waitForExactLine("👁️ MainWebViewScreen onAppear called", 30s));
        EXPECT_TRUE(orvi::test::activateAppAction("test-screen", "[<'labels'>]"));
        app->waitForExactLine("🧪 Screen command: labels", 10s);
        // The labels follow the command's line at once; a short wait collects them all.
        app->waitForLine([](const std::string&) { return false; }, 1s);
        app->sendSignal(SIGTERM);
        EXPECT_EQ(app->waitForExit(15s), 0);

        EXPECT_EQ(orvi::test::readFile(file), before) << "the stored preferences are untouched";
        EXPECT_EQ(folderNames(), names) << "nothing is moved aside or added";
        std::vector<std::string> texts;
        for (const auto& line : app->lines())
            if (line.starts_with("🧪 Label: "))
                texts.push_back(line.substr(std::string("🧪 Label: ").size()));
        const std::string notice = "Настройки не сохраняются: ";
        EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const auto& t) {
            return t.starts_with(notice) && t.size() > notice.size();
        })) << testing::PrintToString(texts);
        if (folderTooIsSomeoneElses) {
            EXPECT_NE(std::find(texts.begin(), texts.end(), "Работа"), texts.end())
                << "the stored profile is on screen: " << testing::PrintToString(texts);
        }
    }
}

} // namespace
