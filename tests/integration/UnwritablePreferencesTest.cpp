#include "PrivateSessionBus.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "support/AppProcess.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::TempDir;

namespace {

constexpr uid_t kSomeoneElse = 4242;
const std::string kProfileId = "11111111-1111-4111-8111-111111111111";

// Files the user cannot write, as someone else's are. Root writes anything, so the test
// needs root to hand the files to another uid and then runs the application without the
// capabilities that would let it ignore file permissions.
class UnwritablePreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive());
        if (::geteuid() != 0)
            GTEST_SKIP() << "handing files to another uid needs root";
        auto store = orvi::SqlitePreferencesStore::create(preferencesFile());
        ASSERT_TRUE(store.ok());
        store.value()->setData(orvi::keys::kProfiles, R"([{"id":")" + kProfileId + R"(","name":"Работа"}])");
        store.value()->setString(orvi::keys::kActiveProfileId, kProfileId);
    }

    std::filesystem::path folder() const { return m_dir / "config/orvi-wrapper"; }
    std::filesystem::path preferencesFile() const { return folder() / "preferences.sqlite3"; }

    std::vector<std::string> folderNames() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs the application until its window is up and returns the texts the window shows.
    std::vector<std::string> shownTexts() {
        const auto before = orvi::test::readFile(preferencesFile());
        const auto names = folderNames();
        auto env = orvi::test::confinedAppEnvironment(m_dir.path());
        env["ORVI_TEST_SCREENS"] = "1";
        auto app = ChildProcess::start(
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

        EXPECT_EQ(orvi::test::readFile(preferencesFile()), before) << "the stored preferences are untouched";
        EXPECT_EQ(folderNames(), names) << "nothing is moved aside or added";
        std::vector<std::string> texts;
        for (const auto& line : app->lines())
            if (line.starts_with("🧪 Label: "))
                texts.push_back(line.substr(std::string("🧪 Label: ").size()));
        return texts;
    }

    TempDir m_dir;
};

bool showsUnsavedNotice(const std::vector<std::string>& texts) {
    const std::string opening = "Настройки не сохраняются: ";
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& text) {
        return text.starts_with(opening) && text.size() > opening.size();
    });
}

} // namespace

TEST_F(UnwritablePreferencesTest, AReadOnlyFolderKeepsTheProfilesAndSaysNothingIsSaved) {
    for (const auto& path : {folder(), preferencesFile()})
        ASSERT_EQ(::chown(path.c_str(), kSomeoneElse, kSomeoneElse), 0);
    std::filesystem::permissions(folder(), std::filesystem::perms(0755));
    std::filesystem::permissions(preferencesFile(), std::filesystem::perms(0644));

    const auto texts = shownTexts();
    EXPECT_TRUE(showsUnsavedNotice(texts)) << testing::PrintToString(texts);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Работа"), texts.end())
        << "the stored profile is on screen: " << testing::PrintToString(texts);
}

TEST_F(UnwritablePreferencesTest, AFileOwnedBySomeoneElseIsNeitherMovedAsideNorReplaced) {
    ASSERT_EQ(::chown(preferencesFile().c_str(), kSomeoneElse, kSomeoneElse), 0);
    std::filesystem::permissions(preferencesFile(), std::filesystem::perms(0600));

    EXPECT_TRUE(showsUnsavedNotice(shownTexts()));
}
