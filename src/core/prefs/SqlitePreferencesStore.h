#pragma once

#include "core/base/Result.h"
#include "core/prefs/PreferencesStore.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace orvi {

// The preferences in one SQLite file in WAL mode: one row per key holding its kind and its
// value, every write its own committed transaction with a full sync. One connection
// behind a mutex serves every thread.
class SqlitePreferencesStore final : public PreferencesStore {
public:
    struct Options {
        // How long a write waits for another process holding the file's write lock.
        std::chrono::milliseconds busyTimeout{5000};
    };

    // How far this run's writes reach.
    enum class Persistence {
        durable,
        // The file could be read but not written (a read-only folder or file, a file of
        // another user): its content was copied into memory, writes stay in this run.
        readOnlyCopy,
        // The file could not be read: empty preferences in memory, the file left alone.
        memoryOnly,
    };

    // Opens or creates the store at `file`. The folder is made 0700 and the file (and its
    // -wal and -shm companions) 0600 whatever the umask. A file whose content is damaged or
    // not a preferences database is moved aside under a timestamped name, logged, and
    // replaced by a fresh store. A file that merely cannot be opened for writing is never
    // moved: the store then runs detached from it (see Persistence) and logs why. Fails
    // only when a damaged file cannot be moved aside or replaced.
    static Result<std::unique_ptr<SqlitePreferencesStore>> create(const std::filesystem::path& file,
                                                                  Options options);
    static Result<std::unique_ptr<SqlitePreferencesStore>> create(const std::filesystem::path& file) {
        return create(file, Options{});
    }
    // A store that lives only as long as the process: the fallback when the file cannot be
    // used at all, so that the application still starts.
    static Result<std::unique_ptr<SqlitePreferencesStore>> createInMemory();
    // One Boolean read from the file without opening the store: nothing is made, tightened,
    // moved or written, so it is safe before the process knows it is the only instance.
    // Absent when the file, the key or a Boolean under it is not there.
    static std::optional<bool> peekBoolean(const std::filesystem::path& file, std::string_view key);

    ~SqlitePreferencesStore() override;
    SqlitePreferencesStore(const SqlitePreferencesStore&) = delete;
    SqlitePreferencesStore& operator=(const SqlitePreferencesStore&) = delete;

    std::optional<std::string> data(std::string_view key) const override;
    std::optional<std::string> string(std::string_view key) const override;
    bool boolean(std::string_view key) const override;
    double number(std::string_view key) const override;
    std::optional<std::int64_t> integer(std::string_view key) const override;
    bool contains(std::string_view key) const override;
    std::vector<std::string> keysWithPrefix(std::string_view prefix) const override;

    bool setData(std::string_view key, std::string_view bytes) override;
    bool setString(std::string_view key, std::string_view text) override;
    bool setBoolean(std::string_view key, bool value) override;
    bool setNumber(std::string_view key, double value) override;
    bool setInteger(std::string_view key, std::int64_t value) override;
    bool remove(std::string_view key) override;

    // Folds the journal into the main file; writes do not depend on it to be durable.
    void synchronize() override;

    const std::filesystem::path& file() const { return m_file; }
    Persistence persistence() const { return m_persistence; }
    // The line for the window when changes will not outlive this run.
    std::optional<std::string> unsavedNotice() const;

private:
    struct Statements;
    enum class Kind : int { data = 0, string = 1, boolean = 2, number = 3, integer = 4 };
    struct Value;

    SqlitePreferencesStore(sqlite3* db, std::filesystem::path file);
    static Result<std::unique_ptr<SqlitePreferencesStore>> createDetached(const std::filesystem::path& file,
                                                                          const std::string& problem);

    std::optional<Value> read(std::string_view key) const;
    bool write(std::string_view key, Kind kind, const std::function<int(sqlite3_stmt*, int)>& bindValue);

    mutable std::mutex m_mutex;
    sqlite3* m_db = nullptr;
    std::unique_ptr<Statements> m_statements;
    std::filesystem::path m_file;
    Persistence m_persistence = Persistence::durable;
};

} // namespace orvi
