#include "core/session/BrowserCookieImport.h"

#include "core/session/BrowserCookieDatabases.h"
#include "unit/SessionTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace orvi::test {
namespace {

namespace fs = std::filesystem;

// The browsers' tables cut to the columns the import may read: a query of any other column fails.
constexpr const char* kFirefoxSchema =
    "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT, name TEXT, value TEXT,"
    " host TEXT, path TEXT, expiry INTEGER, isSecure INTEGER, isHttpOnly INTEGER, sameSite INTEGER);";
constexpr const char* kChromiumSchema =
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT); CREATE TABLE cookies(creation_utc INTEGER,"
    " host_key TEXT, name TEXT, value TEXT, encrypted_value BLOB, path TEXT, expires_utc INTEGER,"
    " is_secure INTEGER, is_httponly INTEGER, has_expires INTEGER, samesite INTEGER);";

// 2030-01-01T00:00:00Z in the browsers' own counts.
constexpr double kExpiry = 1893456000;
constexpr std::int64_t kChromiumExpiry = (1893456000LL + 11644473600LL) * 1000000LL;

// A value sealed as Chromium seals it, led by the digest of `digestHost` unless that is empty.
std::string seal(const std::string& value, const std::string& digestHost,
                 const std::string& password = "peanuts", const std::string& prefix = "v10") {
    return BrowserCookieDatabases::encryptChromiumValue(value, password, !digestHost.empty(), digestHost,
                                                        prefix);
}

struct Db {
    explicit Db(const fs::path& file) {
        fs::create_directories(file.parent_path());
        EXPECT_EQ(sqlite3_open(file.c_str(), &handle), SQLITE_OK);
    }
    ~Db() { sqlite3_close(handle); }
    void exec(const std::string& sql) const {
        ASSERT_EQ(sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sqlite3_errmsg(handle);
    }
    static std::unique_ptr<Db> chromium(const fs::path& file, const char* version) {
        auto db = std::make_unique<Db>(file);
        db->exec(std::string(kChromiumSchema) + "INSERT INTO meta VALUES ('version', '" + version + "');");
        return db;
    }
    void chromiumRow(const std::string& host, const std::string& name, const std::string& plain,
                     const std::string& encrypted, int sameSite,
                     std::int64_t expiresUtc = kChromiumExpiry) const {
        static std::int64_t created = 13300000000000000;
        std::string blob;
        for (unsigned char byte : encrypted)
            blob += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
        exec("INSERT INTO cookies VALUES (" + std::to_string(++created) + ", '" + host + "', '" + name +
             "', '" + plain + "', X'" + blob + "', '/', " + std::to_string(expiresUtc) + ", 1, 1, " +
             std::to_string(expiresUtc != 0) + ", " + std::to_string(sameSite) + ")");
    }
    sqlite3* handle = nullptr;
};

struct FakeKeyring final : platform::BrowserKeyring {
    std::optional<std::string> safeStoragePassword(const std::string& application,
                                                   std::string& why) override {
        asked.push_back(application);
        if (!password)
            why = "the keyring is locked";
        return password;
    }
    std::optional<std::string> password;
    std::vector<std::string> asked;
};

class BrowserCookieImportTest : public ::testing::Test {
protected:
    BrowserCookieImportTest() { fs::create_directories(home.path() / "tmp"); }

    int runImport(const std::string& domain, platform::BrowserKeyring* keyring) {
        BrowserCookieImport importer(
            scheduler, jar,
            BrowserCookieSources{home.path(), home.path() / "tmp", [this] { return session; }, keyring});
        int calls = 0;
        int count = -1;
        importer.importFromBrowser(profile, target, domain, [&](int n) {
            ++calls;
            count = n;
        });
        scheduler.runPending();
        EXPECT_EQ(calls, 1);
        return count;
    }

    std::map<std::string, engine::Cookie> imported() const {
        std::map<std::string, engine::Cookie> byKey;
        for (const auto& cookie : target.cookies.cookies)
            byKey[cookie.domain + "|" + cookie.name] = cookie;
        return byKey;
    }

    ManualScheduler scheduler;
    LogCapture log;
    MemoryPreferencesStore prefs;
    TempDir home;
    CookieJarSync jar{prefs, scheduler};
    ProfileId profile = ProfileId::generate();
    std::shared_ptr<FakeDataStore> session = std::make_shared<FakeDataStore>(true);
    FakeDataStore target{true};
};

TEST_F(BrowserCookieImportTest, GathersEverySourceKeepsTheFirstOfEachAndOnlyTheServiceDomain) {
    session->cookies.cookies = {makeCookie("sid", "from-session", ".web.example")};

    // Firefox keeps its newest writes in the -wal file while it runs: the copy must carry them.
    Db firefox(home.path() / ".mozilla/firefox/abcd.default-release/cookies.sqlite");
    firefox.exec(std::string("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;") + kFirefoxSchema);
    firefox.exec(
        "INSERT INTO moz_cookies (originAttributes, name, value, host, path, expiry, isSecure, isHttpOnly,"
        " sameSite) VALUES"
        " ('', 'sid', 'from-firefox', '.web.example', '/', 1893456000, 1, 1, 1),"
        " ('', 'shared', 'firefox-first', 'x.web.example', '/', 1893456000000, 1, 0, 2),"
        " ('', 'parent', 'p', '.example', '/', 1893456000, 0, 0, 0),"
        " ('', 'foreign', 'f', 'example.org', '/', 1893456000, 0, 0, 0),"
        " ('', 'dots', 'd', '.', '/', 1893456000, 0, 0, 0), ('', 'bare', 'b', '', '/', 1893456000, 0, 0, 0),"
        " ('userContextId=2', 'container', 'c', '.web.example', '/', 1893456000, 0, 0, 0);");

    auto chromium = Db::chromium(home.path() / ".config/chromium/Default/Network/Cookies", "24");
    chromium->chromiumRow("x.web.example", "shared", "", seal("chromium-second", "x.web.example"), 0);
    chromium->chromiumRow(".web.example", "token", "", seal("secret-token", ".web.example"), 1);
    chromium->chromiumRow("web.example", "plain", "unencrypted", "", -1, 0);
    // A value moved from another host's row no longer matches its digest.
    chromium->chromiumRow(".web.example", "moved", "", seal("stolen", ".evil.example"), 1);
    auto chrome = Db::chromium(home.path() / ".config/google-chrome/Profile 1/Cookies", "23");
    chrome->chromiumRow(".web.example", "legacy", "", seal("old-format", ""), 2, 0);

    EXPECT_EQ(runImport("WEB.example", nullptr), 6);

    const auto cookies = imported();
    std::map<std::string, std::string> values;
    for (const auto& [key, cookie] : cookies)
        values[key] = cookie.value;
    EXPECT_EQ(values, (std::map<std::string, std::string>{
                          {".web.example|sid", "from-session"},
                          {"x.web.example|shared", "firefox-first"},
                          {".example|parent", "p"},
                          {".web.example|token", "secret-token"},
                          {"web.example|plain", "unencrypted"},
                          {".web.example|legacy", "old-format"},
                      }));
    EXPECT_EQ(cookies.at("x.web.example|shared").expiresDate, kExpiry);
    EXPECT_EQ(cookies.at("x.web.example|shared").sameSitePolicy, "strict");
    EXPECT_EQ(cookies.at(".example|parent").expiresDate, kExpiry);
    EXPECT_EQ(cookies.at(".web.example|token").expiresDate, kExpiry);
    EXPECT_EQ(cookies.at(".web.example|token").sameSitePolicy, "lax");
    EXPECT_TRUE(cookies.at(".web.example|token").isHTTPOnly);
    EXPECT_EQ(cookies.at("web.example|plain").expiresDate, std::nullopt);
    EXPECT_TRUE(prefs.data(keys::cookies(profile)).has_value());
    EXPECT_TRUE(fs::is_empty(home.path() / "tmp"));
}

TEST_F(BrowserCookieImportTest, KeyringValuesNeedTheKeyringAndAskItOnce) {
    auto chromium = Db::chromium(home.path() / ".config/chromium/Default/Cookies", "24");
    for (const char* name : {"a", "b"})
        chromium->chromiumRow(".web.example", name, "",
                              seal(std::string("v-") + name, ".web.example", "from-keyring", "v11"), 1);

    FakeKeyring locked;
    EXPECT_EQ(runImport("web.example", &locked), 0);
    EXPECT_EQ(locked.asked, std::vector<std::string>{"chromium"});
    EXPECT_TRUE(log.containsSubstring("the keyring is locked"));
    EXPECT_EQ(runImport("web.example", nullptr), 0);

    FakeKeyring open;
    open.password = "from-keyring";
    EXPECT_EQ(runImport("web.example", &open), 2);
    EXPECT_EQ(open.asked.size(), 1u);
    EXPECT_EQ(imported().at(".web.example|b").value, "v-b");
}

TEST_F(BrowserCookieImportTest, NothingOfTheDomainCompletesWithZeroAndImportsNothing) {
    EXPECT_EQ(runImport("web.example", nullptr), 0);
    EXPECT_TRUE(prefs.data(keys::cookies(profile)) == std::nullopt);

    for (int i = 0; i < 23; ++i)
        session->cookies.cookies.push_back(makeCookie("c", "v", "site" + std::to_string(100 + i) + ".org"));
    EXPECT_EQ(runImport("web.example", nullptr), 0);
    EXPECT_TRUE(target.cookies.cookies.empty());
}

} // namespace
} // namespace orvi::test
