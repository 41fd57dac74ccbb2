#include "core/prefs/SqlitePreferencesStore.h"

#include "core/base/Log.h"
#include "core/base/PrivateFiles.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <sqlite3.h>

namespace orvi {
namespace {

constexpr const char* kErrorDomain = "PreferencesStore";

Error storeError(int code, const std::string& message) {
    return Error{kErrorDomain, code, message};
}

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

// Resets a prepared statement on every way out, so that a read never keeps a snapshot open
// and a failed write never leaves its transaction pending.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* statement) : m_statement(statement) {}
    ~StatementUse() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

private:
    sqlite3_stmt* m_statement;
};

int bindKey(sqlite3_stmt* statement, std::string_view key) {
    return sqlite3_bind_text(statement, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

struct OpenFailure {
    int code;
    std::string message;
    // Set only when the file's content proves it is not a usable preferences database. Any
    // other failure (no permission, no free inodes, a lock held elsewhere) says nothing
    // about the file, which must then be left where it is: it may hold every login.
    bool damaged = false;
};

bool meansDamagedContent(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

bool execute(sqlite3* db, const char* sql, OpenFailure& failure) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
    if (rc == SQLITE_OK)
        return true;
    failure = {rc, message ? message : sqlite3_errstr(rc)};
    sqlite3_free(message);
    return false;
}

std::string singleTextResult(sqlite3* db, const char* sql, OpenFailure& failure) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Statement statement(raw);
    if (rc == SQLITE_OK && (rc = sqlite3_step(raw)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        return text ? text : "";
    }
    failure = {rc, sqlite3_errmsg(db)};
    return {};
}

std::string timestampForFileName() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &utc);
    return buffer;
}

} // namespace

struct SqlitePreferencesStore::Value {
    Kind kind;
    std::string bytes;
    double real = 0;
    std::int64_t integer = 0;
};

struct SqlitePreferencesStore::Statements {
    Statement select;
    Statement upsert;
    Statement remove;
};

namespace {

struct Opened {
    sqlite3* db = nullptr;
    Statement select, upsert, remove;
};

std::optional<Opened> openDatabase(const std::string& uri, bool inMemory,
                                   SqlitePreferencesStore::Options options, OpenFailure& failure,
                                   sqlite3* seed = nullptr) {
    Opened opened;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    int rc = sqlite3_open_v2(uri.c_str(), &opened.db, flags, nullptr);
    auto fail = [&](OpenFailure f) -> std::optional<Opened> {
        f.damaged = f.damaged || meansDamagedContent(f.code);
        failure = std::move(f);
        opened.select.reset();
        opened.upsert.reset();
        opened.remove.reset();
        sqlite3_close(opened.db);
        return std::nullopt;
    };
    if (rc != SQLITE_OK)
        return fail({rc, opened.db ? sqlite3_errmsg(opened.db) : sqlite3_errstr(rc)});
    sqlite3_extended_result_codes(opened.db, 1);
    sqlite3_busy_timeout(opened.db, static_cast<int>(options.busyTimeout.count()));
    if (seed) {
        sqlite3_backup* backup = sqlite3_backup_init(opened.db, "main", seed, "main");
        if (!backup)
            return fail({sqlite3_errcode(opened.db), sqlite3_errmsg(opened.db)});
        sqlite3_backup_step(backup, -1);
        if (const int copied = sqlite3_backup_finish(backup); copied != SQLITE_OK)
            return fail({copied, sqlite3_errstr(copied)});
    }

    OpenFailure step{};
    if (!inMemory) {
        const auto mode = singleTextResult(opened.db, "PRAGMA journal_mode=WAL", step);
        if (mode != "wal")
            return fail(step.code ? step : OpenFailure{SQLITE_IOERR, "journal mode stays " + mode});
        // FULL makes each commit reach the disk before the write returns, not only the OS.
        if (!execute(opened.db, "PRAGMA synchronous=FULL", step))
            return fail(step);
    }
    if (!execute(opened.db,
                 "CREATE TABLE IF NOT EXISTS preferences ("
                 " key TEXT PRIMARY KEY NOT NULL, kind INTEGER NOT NULL, value) WITHOUT ROWID",
                 step))
        return fail(step);
    if (!inMemory) {
        const auto check = singleTextResult(opened.db, "PRAGMA quick_check", step);
        if (check != "ok")
            return fail(step.code ? step : OpenFailure{SQLITE_CORRUPT, "integrity check: " + check, true});
    }

    auto prepare = [&](const char* sql, Statement& out) {
        sqlite3_stmt* raw = nullptr;
        const int prc = sqlite3_prepare_v3(opened.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
        out.reset(raw);
        if (prc != SQLITE_OK)
            step = {prc, sqlite3_errmsg(opened.db)};
        return prc == SQLITE_OK;
    };
    // A table of the same name with other columns fails here: not our file.
    if (!prepare("SELECT kind, value FROM preferences WHERE key = ?1", opened.select) ||
        !prepare("INSERT INTO preferences (key, kind, value) VALUES (?1, ?2, ?3)"
                 " ON CONFLICT(key) DO UPDATE SET kind = excluded.kind, value = excluded.value",
                 opened.upsert) ||
        !prepare("DELETE FROM preferences WHERE key = ?1", opened.remove)) {
        // The file opened and passed its check, so a statement that does not compile
        // means a table of that name with other columns: a database, but not ours.
        step.damaged = (step.code & 0xFF) == SQLITE_ERROR;
        return fail(step);
    }
    return opened;
}

} // namespace

namespace {

std::string uriPath(const std::filesystem::path& file) {
    // Percent signs, question marks and hashes in a folder name would be read as URI syntax.
    std::string out = "file:";
    for (const char c : file.string()) {
        if (c == '%' || c == '?' || c == '#') {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", static_cast<unsigned char>(c));
            out += buffer;
        } else {
            out += c;
        }
    }
    return out;
}

// A read-only connection to the file as it stands, for copying it into memory. Without a
// writable folder the WAL index cannot be made; "immutable" then reads the main file alone.
sqlite3* openFileReadOnly(const std::filesystem::path& file) {
    for (const char* query : {"?mode=ro", "?immutable=1"}) {
        sqlite3* db = nullptr;
        const std::string uri = uriPath(file) + query;
        const int rc = sqlite3_open_v2(uri.c_str(), &db,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
        OpenFailure ignored{};
        if (rc == SQLITE_OK && singleTextResult(db, "PRAGMA quick_check", ignored) == "ok")
            return db;
        sqlite3_close(db);
    }
    return nullptr;
}

} // namespace

std::optional<bool> SqlitePreferencesStore::peekBoolean(const std::filesystem::path& file,
                                                        std::string_view key) {
    sqlite3* db = nullptr;
    const std::string uri = uriPath(file) + "?mode=ro";
    std::optional<bool> result;
    if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                        nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT kind, value FROM preferences WHERE key = ?1", -1, &statement,
                               nullptr) == SQLITE_OK &&
            sqlite3_bind_text(statement, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC) ==
                SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW &&
            sqlite3_column_int(statement, 0) == static_cast<int>(Kind::boolean))
            result = sqlite3_column_int64(statement, 1) != 0;
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return result;
}

Result<std::unique_ptr<SqlitePreferencesStore>>
SqlitePreferencesStore::create(const std::filesystem::path& file, Options options) {
    OpenFailure failure{};
    auto attempt = [&]() -> std::optional<Opened> {
        if (auto folder = makePrivateFolder(file.parent_path()); !folder) {
            failure = {SQLITE_CANTOPEN, folder.error().message};
            return std::nullopt;
        }
        if (auto made = makePrivateFile(file); !made) {
            failure = {SQLITE_CANTOPEN, made.error().message};
            return std::nullopt;
        }
        auto opened = openDatabase(file.string(), false, options, failure);
        if (opened)
            tightenCompanionFiles(file);
        return opened;
    };

    auto opened = attempt();
    if (!opened && failure.damaged) {
        auto aside = moveAside(file, ".corrupt-" + timestampForFileName());
        if (!aside)
            return storeError(failure.code, "cannot open " + file.string() + " (" + failure.message +
                                                ") nor move it aside: " + aside.error().message);
        logLine("⚠️ Preferences file " + file.string() + " could not be used (" + failure.message +
                "); moved it to " + aside.value().filename().string() + " and started a fresh store");
        opened = attempt();
        if (!opened)
            return storeError(failure.code, "cannot create " + file.string() + ": " + failure.message);
    }
    if (!opened)
        return createDetached(file, failure.message);

    std::unique_ptr<SqlitePreferencesStore> store(new SqlitePreferencesStore(opened->db, file));
    store->m_statements.reset(
        new Statements{std::move(opened->select), std::move(opened->upsert), std::move(opened->remove)});
    return store;
}

Result<std::unique_ptr<SqlitePreferencesStore>>
SqlitePreferencesStore::createDetached(const std::filesystem::path& file, const std::string& problem) {
    sqlite3* source = openFileReadOnly(file);
    Persistence persistence = source ? Persistence::readOnlyCopy : Persistence::memoryOnly;
    OpenFailure failure{};
    auto opened = openDatabase(":memory:", true, Options{}, failure, source);
    sqlite3_close(source);
    if (!opened && persistence == Persistence::readOnlyCopy) {
        logLine("⚠️ Preferences file " + file.string() +
                " could be read but not copied: " + failure.message);
        persistence = Persistence::memoryOnly;
        opened = openDatabase(":memory:", true, Options{}, failure);
    }
    if (!opened)
        return storeError(failure.code, "cannot create an in-memory store: " + failure.message);
    if (persistence == Persistence::readOnlyCopy)
        logLine("⚠️ Preferences file " + file.string() + " cannot be written (" + problem +
                "); using what it holds, changes are not kept after this run");
    else
        logLine("⚠️ Preferences file " + file.string() + " cannot be used (" + problem +
                "); running with preferences in memory and leaving the file untouched");
    std::unique_ptr<SqlitePreferencesStore> store(new SqlitePreferencesStore(opened->db, {}));
    store->m_statements.reset(
        new Statements{std::move(opened->select), std::move(opened->upsert), std::move(opened->remove)});
    store->m_persistence = persistence;
    return store;
}

std::optional<std::string> SqlitePreferencesStore::unsavedNotice() const {
    switch (m_persistence) {
    case Persistence::durable:
        return std::nullopt;
    case Persistence::readOnlyCopy:
        return "Настройки не сохраняются: файл настроек доступен только для чтения";
    case Persistence::memoryOnly:
        break;
    }
    return "Настройки не сохраняются: файл настроек недоступен";
}

Result<std::unique_ptr<SqlitePreferencesStore>> SqlitePreferencesStore::createInMemory() {
    OpenFailure failure{};
    auto opened = openDatabase(":memory:", true, Options{}, failure);
    if (!opened)
        return storeError(failure.code, "cannot create an in-memory store: " + failure.message);
    std::unique_ptr<SqlitePreferencesStore> store(new SqlitePreferencesStore(opened->db, {}));
    store->m_statements.reset(
        new Statements{std::move(opened->select), std::move(opened->upsert), std::move(opened->remove)});
    store->m_persistence = Persistence::memoryOnly;
    return store;
}

SqlitePreferencesStore::SqlitePreferencesStore(sqlite3* db, std::filesystem::path file)
    : m_db(db), m_file(std::move(file)) {}

SqlitePreferencesStore::~SqlitePreferencesStore() {
    m_statements.reset();
    sqlite3_close(m_db);
}

std::optional<SqlitePreferencesStore::Value> SqlitePreferencesStore::read(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    auto* statement = m_statements->select.get();
    StatementUse use(statement);
    bindKey(statement, key);
    const int rc = sqlite3_step(statement);
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE)
            logLine("❌ Failed to read preference " + std::string(key) + ": " + sqlite3_errmsg(m_db));
        return std::nullopt;
    }
    Value value{static_cast<Kind>(sqlite3_column_int(statement, 0))};
    switch (value.kind) {
    case Kind::data:
    case Kind::string: {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, 1));
        value.bytes.assign(bytes ? bytes : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, 1)));
        break;
    }
    case Kind::number:
        // SQLite keeps a NaN as NULL; the kind column tells the two apart.
        value.real = sqlite3_column_type(statement, 1) == SQLITE_NULL
                         ? std::numeric_limits<double>::quiet_NaN()
                         : sqlite3_column_double(statement, 1);
        break;
    case Kind::boolean:
    case Kind::integer:
        value.integer = sqlite3_column_int64(statement, 1);
        break;
    }
    return value;
}

std::optional<std::string> SqlitePreferencesStore::data(std::string_view key) const {
    auto value = read(key);
    if (!value || value->kind != Kind::data)
        return std::nullopt;
    return std::move(value->bytes);
}

std::optional<std::string> SqlitePreferencesStore::string(std::string_view key) const {
    auto value = read(key);
    if (!value || value->kind != Kind::string)
        return std::nullopt;
    return std::move(value->bytes);
}

bool SqlitePreferencesStore::boolean(std::string_view key) const {
    auto value = read(key);
    return value && value->kind == Kind::boolean && value->integer != 0;
}

double SqlitePreferencesStore::number(std::string_view key) const {
    auto value = read(key);
    if (!value)
        return 0;
    if (value->kind == Kind::number)
        return value->real;
    if (value->kind == Kind::integer)
        return static_cast<double>(value->integer);
    return 0;
}

std::optional<std::int64_t> SqlitePreferencesStore::integer(std::string_view key) const {
    auto value = read(key);
    if (!value || value->kind != Kind::integer)
        return std::nullopt;
    return value->integer;
}

bool SqlitePreferencesStore::contains(std::string_view key) const {
    return read(key).has_value();
}

std::vector<std::string> SqlitePreferencesStore::keysWithPrefix(std::string_view prefix) const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> keys;
    sqlite3_stmt* raw = nullptr;
    // Compared as bytes: a prefix holding LIKE's wildcards or non-ASCII text means itself.
    if (sqlite3_prepare_v2(
            m_db,
            "SELECT key FROM preferences WHERE substr(CAST(key AS BLOB), 1, ?2) = CAST(?1 AS BLOB)"
            " ORDER BY key",
            -1, &raw, nullptr) != SQLITE_OK) {
        logLine("❌ Failed to list preferences: " + std::string(sqlite3_errmsg(m_db)));
        return keys;
    }
    Statement statement(raw);
    bindKey(raw, prefix);
    sqlite3_bind_int64(raw, 2, static_cast<sqlite3_int64>(prefix.size()));
    while (sqlite3_step(raw) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        keys.emplace_back(text ? text : "");
    }
    return keys;
}

bool SqlitePreferencesStore::write(std::string_view key, Kind kind,
                                   const std::function<int(sqlite3_stmt*, int)>& bindValue) {
    std::lock_guard lock(m_mutex);
    auto* statement = m_statements->upsert.get();
    StatementUse use(statement);
    bindKey(statement, key);
    sqlite3_bind_int(statement, 2, static_cast<int>(kind));
    int rc = bindValue(statement, 3);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE) {
        logLine("❌ Failed to write preference " + std::string(key) + ": " + sqlite3_errmsg(m_db));
        return false;
    }
    return true;
}

bool SqlitePreferencesStore::setData(std::string_view key, std::string_view bytes) {
    return write(key, Kind::data, [&](sqlite3_stmt* s, int index) {
        // A zero-length blob with a null pointer would be stored as NULL.
        return sqlite3_bind_blob64(s, index, bytes.empty() ? "" : bytes.data(), bytes.size(),
                                   SQLITE_TRANSIENT);
    });
}

bool SqlitePreferencesStore::setString(std::string_view key, std::string_view text) {
    return write(key, Kind::string, [&](sqlite3_stmt* s, int index) {
        return sqlite3_bind_text64(s, index, text.empty() ? "" : text.data(), text.size(), SQLITE_TRANSIENT,
                                   SQLITE_UTF8);
    });
}

bool SqlitePreferencesStore::setBoolean(std::string_view key, bool value) {
    return write(key, Kind::boolean,
                 [&](sqlite3_stmt* s, int index) { return sqlite3_bind_int(s, index, value); });
}

bool SqlitePreferencesStore::setNumber(std::string_view key, double value) {
    return write(key, Kind::number,
                 [&](sqlite3_stmt* s, int index) { return sqlite3_bind_double(s, index, value); });
}

bool SqlitePreferencesStore::setInteger(std::string_view key, std::int64_t value) {
    return write(key, Kind::integer,
                 [&](sqlite3_stmt* s, int index) { return sqlite3_bind_int64(s, index, value); });
}

bool SqlitePreferencesStore::remove(std::string_view key) {
    std::lock_guard lock(m_mutex);
    auto* statement = m_statements->remove.get();
    StatementUse use(statement);
    bindKey(statement, key);
    if (sqlite3_step(statement) != SQLITE_DONE) {
        logLine("❌ Failed to remove preference " + std::string(key) + ": " + sqlite3_errmsg(m_db));
        return false;
    }
    return true;
}

void SqlitePreferencesStore::synchronize() {
    std::lock_guard lock(m_mutex);
    if (m_file.empty())
        return;
    const int rc = sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    if (rc != SQLITE_OK && rc != SQLITE_BUSY)
        logLine("⚠️ Preferences checkpoint failed: " + std::string(sqlite3_errmsg(m_db)));
}

} // namespace orvi
