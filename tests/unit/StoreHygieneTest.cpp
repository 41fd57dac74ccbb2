#include "SessionTestSupport.h"
#include "core/base/PrivateFiles.h"
#include "core/prefs/ForgettingPreferencesStore.h"
#include "core/session/CookieDictionary.h"

#include <condition_variable>
#include <fstream>
#include <thread>

using namespace orvi;
using namespace orvi::test;
using namespace std::chrono_literals;

namespace {

// Holds every write in the store below until released, so a deletion can be tried while one
// is under way.
class GatedStore final : public PreferencesStore {
public:
    std::optional<std::string> data(std::string_view key) const override { return inner.data(key); }
    std::optional<std::string> string(std::string_view key) const override { return inner.string(key); }
    bool boolean(std::string_view key) const override { return inner.boolean(key); }
    double number(std::string_view key) const override { return inner.number(key); }
    std::optional<std::int64_t> integer(std::string_view key) const override { return inner.integer(key); }
    bool contains(std::string_view key) const override { return inner.contains(key); }
    std::vector<std::string> keysWithPrefix(std::string_view p) const override {
        return inner.keysWithPrefix(p);
    }
    bool setData(std::string_view key, std::string_view bytes) override {
        std::unique_lock lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [this] { return released; });
        return inner.setData(key, bytes);
    }
    bool setString(std::string_view key, std::string_view text) override {
        return inner.setString(key, text);
    }
    bool setBoolean(std::string_view key, bool value) override { return inner.setBoolean(key, value); }
    bool setNumber(std::string_view key, double value) override { return inner.setNumber(key, value); }
    bool setInteger(std::string_view key, std::int64_t value) override {
        return inner.setInteger(key, value);
    }
    bool remove(std::string_view key) override { return inner.remove(key); }
    void synchronize() override {}

    MemoryPreferencesStore inner;
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

TEST(ForgettingPreferencesStoreTest, ADeletionDuringAWriteStillLeavesTheSessionGone) {
    GatedStore gated;
    ForgettingPreferencesStore store(gated);
    const auto profile = *ProfileId::parse("0A1B2C3D-4E5F-4071-8293-A4B5C6D7E8F9");
    std::thread writer([&] { store.setData(keys::cookies(profile), "[{\"name\":\"sid\"}]"); });
    std::unique_lock lock(gated.mutex);
    gated.changed.wait(lock, [&] { return gated.entered; });
    lock.unlock();

    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool forgotten = false;
    std::thread deleter([&] {
        store.forgetProfile(profile);
        std::lock_guard doneLock(doneMutex);
        forgotten = true;
        doneChanged.notify_all();
    });
    // A deletion that does not wait for the write under way lets it finish afterwards.
    {
        std::unique_lock doneLock(doneMutex);
        doneChanged.wait_for(doneLock, 300ms, [&] { return forgotten; });
    }
    lock.lock();
    gated.released = true;
    gated.changed.notify_all();
    lock.unlock();
    writer.join();
    deleter.join();

    EXPECT_FALSE(gated.inner.contains(keys::cookies(profile)));
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
    const auto write = [](const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path) << text;
    };
    write(folder / "new", "new");
    write(folder / "taken", "old");
    EXPECT_FALSE(renameWithoutReplacing(folder / "new", folder / "taken"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(readFile(folder / "taken"), "old");
    EXPECT_TRUE(renameWithoutReplacing(folder / "new", folder / "free"));
    EXPECT_EQ(readFile(folder / "free"), "new");

    write(folder / "prefs", "second");
    write(folder / "prefs.bad", "first");
    auto aside = moveAside(folder / "prefs", ".bad");
    ASSERT_TRUE(aside);
    EXPECT_EQ(readFile(folder / "prefs.bad"), "first");
    EXPECT_EQ(readFile(aside.value()), "second");
    EXPECT_FALSE(std::filesystem::exists(folder / "prefs"));
}

} // namespace
