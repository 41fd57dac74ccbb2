#include "core/prefs/SqlitePreferencesStore.h"

#include "support/TempDir.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using orvi::SqlitePreferencesStore;
using orvi::test::fileMode;
using orvi::test::TempDir;

namespace {

std::unique_ptr<SqlitePreferencesStore> open(const std::filesystem::path& file,
                                             SqlitePreferencesStore::Options options = {}) {
    auto store = SqlitePreferencesStore::create(file, options);
    EXPECT_TRUE(store.ok()) << (store.ok() ? "" : store.error().message);
    return store.ok() ? std::move(store).value() : nullptr;
}

} // namespace

TEST(SqlitePreferencesStore,
     ValuesRoundTripExactlyInPrivateFilesAcrossAReopenOtherKindsReadAsDefaultsAndPrefixesMatchBytes) {
    const std::shared_ptr<void> restoreUmask(nullptr, [previous = ::umask(0)](void*) { ::umask(previous); });
    TempDir dir;
    const auto folder = dir / "config/orvi-wrapper";
    const auto file = folder / "preferences.sqlite3";
    const std::string binary("\0\x01\xff{\"a\":1}\n", 11);
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double numbers[] = {0.1, -0.0, 1e-310, std::numeric_limits<double>::max(), inf, -inf};
    {
        auto store = open(file);
        ASSERT_TRUE(store);
        EXPECT_TRUE(store->setData("k.data", binary));
        EXPECT_TRUE(store->setData("k.emptyData", ""));
        EXPECT_TRUE(store->setString("k.string", "Основной ✅"));
        EXPECT_TRUE(store->setString("k.emptyString", ""));
        EXPECT_TRUE(store->setBoolean("k.true", true));
        EXPECT_TRUE(store->setBoolean("k.false", false));
        for (std::size_t i = 0; i < std::size(numbers); ++i)
            EXPECT_TRUE(store->setNumber("k.number" + std::to_string(i), numbers[i]));
        EXPECT_TRUE(store->setNumber("k.nan", std::nan("")));
        EXPECT_TRUE(store->setInteger("k.int", std::numeric_limits<std::int64_t>::min()));
        EXPECT_TRUE(store->setInteger("k.intMax", std::numeric_limits<std::int64_t>::max()));
        for (const auto& path : {folder, dir / "config"})
            EXPECT_EQ(fileMode(path), 0700u) << path;
        for (const auto& path : {file.string(), file.string() + "-wal", file.string() + "-shm"})
            EXPECT_EQ(fileMode(path), 0600u) << path;
    }
    ::chmod(folder.c_str(), 0755);
    ::chmod(file.c_str(), 0444);
    auto store = open(file);
    ASSERT_TRUE(store);
    EXPECT_EQ(fileMode(folder), 0700u) << "an existing loose folder is tightened";
    EXPECT_EQ(fileMode(file), 0600u);
    EXPECT_EQ(store->data("k.data"), binary);
    EXPECT_EQ(store->data("k.emptyData"), "");
    EXPECT_EQ(store->string("k.string"), "Основной ✅");
    EXPECT_EQ(store->string("k.emptyString"), "");
    EXPECT_TRUE(store->boolean("k.true"));
    EXPECT_FALSE(store->boolean("k.false"));
    EXPECT_TRUE(store->contains("k.false"));
    for (std::size_t i = 0; i < std::size(numbers); ++i) {
        const double read = store->number("k.number" + std::to_string(i));
        EXPECT_EQ(read, numbers[i]);
        EXPECT_EQ(std::signbit(read), std::signbit(numbers[i]));
    }
    EXPECT_TRUE(std::isnan(store->number("k.nan")));
    EXPECT_EQ(store->integer("k.int"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(store->integer("k.intMax"), std::numeric_limits<std::int64_t>::max());

    EXPECT_FALSE(store->data("missing"));
    EXPECT_FALSE(store->string("missing"));
    EXPECT_FALSE(store->integer("missing"));
    EXPECT_FALSE(store->contains("missing"));

    EXPECT_FALSE(store->data("k.string")) << "a string is not data";
    EXPECT_FALSE(store->boolean("k.string"));
    EXPECT_EQ(store->number("k.intMax"), 9.223372036854775807e18) << "an integer reads as a number";
    EXPECT_FALSE(store->integer("k.true"));

    EXPECT_TRUE(store->setData("k.string", "{}"));
    EXPECT_FALSE(store->string("k.string")) << "the last write decides the kind";
    EXPECT_TRUE(store->remove("k.string"));
    EXPECT_FALSE(store->contains("k.string"));
    EXPECT_TRUE(store->remove("k.string")) << "removing an absent key is not a failure";

    for (const char* key : {"a.%x", "a.%", "a.b", "A.%x", "ключ.1", "ключ", "a_%"})
        ASSERT_TRUE(store->setBoolean(key, true));
    EXPECT_EQ(store->keysWithPrefix("a.%"), (std::vector<std::string>{"a.%", "a.%x"}));
    EXPECT_EQ(store->keysWithPrefix("ключ."), (std::vector<std::string>{"ключ.1"}));
    EXPECT_TRUE(store->keysWithPrefix("z").empty());
}

TEST(SqlitePreferencesStore, APeekReadsOneBooleanWhileTheStoreIsOpenOrClosedAndMakesNothing) {
    TempDir dir;
    const auto file = dir / "p.sqlite3";
    EXPECT_FALSE(SqlitePreferencesStore::peekBoolean(file, "on"));
    EXPECT_FALSE(std::filesystem::exists(file)) << "a peek never creates the store";
    auto store = open(file);
    store->setBoolean("on", true);
    store->setBoolean("off", false);
    store->setInteger("number", 1);
    EXPECT_EQ(SqlitePreferencesStore::peekBoolean(file, "on"), true);
    EXPECT_EQ(SqlitePreferencesStore::peekBoolean(file, "off"), false);
    EXPECT_FALSE(SqlitePreferencesStore::peekBoolean(file, "number"));
    store.reset();
    EXPECT_EQ(SqlitePreferencesStore::peekBoolean(file, "on"), true) << "after the store closed";
}

TEST(SqlitePreferencesStore, WritesAreDurableAtOnceAndOneThatCannotCommitFailsAndKeepsTheOldValue) {
    TempDir dir;
    const auto file = dir / "p.sqlite3";
    auto store = open(file, {.busyTimeout = std::chrono::milliseconds(0)});
    ASSERT_TRUE(store);
    const char* key = "OrviWrapper.WindowWidth";
    ASSERT_TRUE(store->setNumber(key, 612.5));

    // A second connection sees the committed write while the first is still open and has
    // never checkpointed: the write did not wait for synchronize() or shutdown.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(other,
                                 "SELECT kind, value FROM preferences WHERE key = 'OrviWrapper.WindowWidth'",
                                 -1, &statement, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_double(statement, 1), 612.5);
    sqlite3_finalize(statement);

    // The other connection holds the write lock, so our write cannot commit.
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(store->setNumber(key, 1));
    EXPECT_FALSE(store->remove(key));
    EXPECT_EQ(store->number(key), 612.5);
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(store->setNumber(key, 1));
    EXPECT_EQ(store->number(key), 1);
}

TEST(SqlitePreferencesStore, ConcurrentWritersFromSeveralThreadsAllLand) {
    TempDir dir;
    auto store = open(dir / "p.sqlite3");
    ASSERT_TRUE(store);
    constexpr int kThreads = 6;
    constexpr int kWrites = 40;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&store, t] {
            for (int i = 0; i < kWrites; ++i) {
                const auto key = "t" + std::to_string(t) + "." + std::to_string(i);
                store->setInteger(key, t * 1000 + i);
                store->setString("shared", key);
                (void)store->integer(key);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kWrites; ++i)
            EXPECT_EQ(store->integer("t" + std::to_string(t) + "." + std::to_string(i)), t * 1000 + i);
    EXPECT_TRUE(store->string("shared"));
}

TEST(SqlitePreferencesStore, AnUnusableFileIsMovedAsideAndReplacedByAFreshStore) {
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> damage;
    };
    const Case cases[] = {
        {"plain text", [](const auto& f) { std::ofstream(f) << "not a database, just some text\n"; }},
        {"truncated header",
         [](const auto& f) {
             std::ofstream(f, std::ios::binary) << std::string("SQLite format 3\0garbage", 24);
         }},
        {"foreign table",
         [](const auto& f) {
             sqlite3* db = nullptr;
             sqlite3_open(f.c_str(), &db);
             sqlite3_exec(db, "CREATE TABLE preferences (name TEXT, other BLOB)", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const auto file = dir / "preferences.sqlite3";
        c.damage(file);
        auto store = open(file);
        ASSERT_TRUE(store);
        EXPECT_TRUE(store->setBoolean("after", true));
        EXPECT_TRUE(store->boolean("after"));
        int aside = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            if (entry.path().filename().string().starts_with("preferences.sqlite3.corrupt-"))
                ++aside;
        EXPECT_GE(aside, 1) << "the damaged file is kept for inspection";
    }
}

using Persistence = SqlitePreferencesStore::Persistence;

// Root passes every permission check, so only another user lets the file system refuse the
// folder; a run under sudo leaves exactly this behind. The other user's findings come back
// in its exit status. A file that user cannot read at all is left alone the same way, which
// UnwritablePreferencesTest checks on the whole application.
TEST(SqlitePreferencesStore, AReadOnlyFolderGivesACopyThatTakesTheRunsWritesAndIsNeverMovedAside) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to open the store as another user";
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const auto folder = dir / "prefs";
    const auto file = folder / "preferences.sqlite3";
    ASSERT_TRUE(open(file)->setString("login", "kept"));
    ::chmod(folder.c_str(), 0755);
    ::chmod(file.c_str(), 0644);
    const auto before = orvi::test::readFile(file);

    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(255);
        auto store = SqlitePreferencesStore::create(file);
        if (!store.ok())
            ::_exit(254);
        auto& s = *store.value();
        ::_exit((s.persistence() == Persistence::readOnlyCopy) + (s.string("login") == "kept") * 2 +
                (s.setString("later", "x") && s.string("later") == "x") * 4);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 7)
        << "a read-only copy (1) that read the login (2) and keeps its own write (4)";
    EXPECT_EQ(orvi::test::readFile(file), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "nothing moved aside";
}

TEST(SqlitePreferencesStore, SomethingOtherThanAFileInItsPlaceRunsInMemoryAndIsLeftAlone) {
    TempDir dir;
    std::ofstream(dir / "blocker") << "a file where the folder should be";
    std::filesystem::create_directory(dir / "folder-as-file");
    for (const auto& file : {dir / "blocker/orvi-wrapper/preferences.sqlite3", dir / "folder-as-file"}) {
        SCOPED_TRACE(file.string());
        auto store = SqlitePreferencesStore::create(file);
        ASSERT_TRUE(store.ok());
        EXPECT_EQ(store.value()->persistence(), Persistence::memoryOnly);
        EXPECT_TRUE(store.value()->unsavedNotice().has_value());
        EXPECT_TRUE(store.value()->setData("k", "v"));
        EXPECT_EQ(store.value()->data("k"), "v");
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder-as-file"));
}
