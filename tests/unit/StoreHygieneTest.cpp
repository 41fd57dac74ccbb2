#include "SessionTestSupport.h"
#include "core/base/PrivateFiles.h"
#include "core/prefs/ForgettingPreferencesStore.h"
#include "core/session/CookieDictionary.h"

#include <atomic>
#include <fstream>
#include <future>
#include <thread>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

TEST(ForgettingPreferencesStoreTest, ADeletionDuringAWriteStillLeavesTheSessionGone) {
    MemoryPreferencesStore inner;
    std::promise<void> entered;
    std::promise<void> release;
    std::atomic<bool> holdNext = true;
    inner.beforeWrite = [&, released = release.get_future().share()](std::string_view) {
        if (holdNext.exchange(false)) {
            entered.set_value();
            released.wait();
        }
    };
    ForgettingPreferencesStore store(inner);
    const auto profile = ProfileId::generate();
    std::thread writer([&] { store.setData(keys::cookies(profile), "[{\"name\":\"sid\"}]"); });
    entered.get_future().wait();

    auto deletion = std::async(std::launch::async, [&] { store.forgetProfile(profile); });
    // A deletion that does not wait for the write under way lets it finish afterwards.
    deletion.wait_for(300ms);
    release.set_value();
    writer.join();
    deletion.get();

    EXPECT_FALSE(inner.contains(keys::cookies(profile)));
    EXPECT_FALSE(store.setData(keys::cookies(profile), "[]"));
}

class ExportCompletionTest : public SessionFixture {};

TEST_F(ExportCompletionTest, ACompletionThatThrowsIsCalledOnce) {
    prefs.setData(keys::cookies(profile), cookies::toDictionaries({makeCookie("sid", "1")}).dump());
    int calls = 0;
    auto throwing = [&calls](std::optional<std::string>) {
        ++calls;
        throw std::runtime_error("caller failed");
    };
    EXPECT_THROW(exporter->exportCookiesEncrypted(profile, "pw", throwing), std::runtime_error);
    scheduler.advance(1h);
    EXPECT_EQ(calls, 1);
}

TEST(PrivateFilesTest, ARenameNeverReplacesATakenName) {
    TempDir folder;
    std::ofstream(folder / "new") << "new";
    std::ofstream(folder / "taken") << "old";
    EXPECT_FALSE(renameWithoutReplacing(folder / "new", folder / "taken"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(readFile(folder / "taken"), "old");
    EXPECT_TRUE(renameWithoutReplacing(folder / "new", folder / "free"));
    EXPECT_EQ(readFile(folder / "free"), "new");

    std::ofstream(folder / "prefs") << "second";
    std::ofstream(folder / "prefs.bad") << "first";
    auto aside = moveAside(folder / "prefs", ".bad");
    ASSERT_TRUE(aside);
    EXPECT_EQ(readFile(folder / "prefs.bad"), "first");
    EXPECT_EQ(readFile(aside.value()), "second");
    EXPECT_FALSE(std::filesystem::exists(folder / "prefs"));
}

} // namespace
