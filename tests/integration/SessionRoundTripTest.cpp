#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "core/session/CookieJarSync.h"
#include "core/session/SessionExport.h"
#include "core/session/SessionFile.h"
#include "core/session/SessionImport.h"
#include "core/session/StorageSnapshotSync.h"
#include "core/web/scripts/OrviUserScripts.h"
#include "fakes/LogCapture.h"
#include "integration/WebKitTestSupport.h"
#include "platform/linux/GLibScheduler.h"
#include "support/TestDomains.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

namespace {

// Keys and values a page may hold that a careless restore script would break on.
const std::vector<std::pair<std::string, std::string>> kHostileItems = {
    {"quote'\"", "it's \"quoted\""},
    {"back\\slash", "C:\\path\\n\\'"},
    {"lines", "one\ntwo\r\nthree\u2028four\u2029five"},
    {"nul", std::string("a\0b", 3)},
    {"emoji 😀", "👨‍👩‍👧 🎉"},
    {"ключ", "значение"},
    {"</script>", "<!-- --> ${x} `tick`"},
    {"__proto__", "kept"},
};

Json itemsObject(const std::vector<std::pair<std::string, std::string>>& items) {
    Json object = Json::object();
    for (const auto& [key, value] : items)
        object[key] = value;
    return object;
}

Json readStore(engine::WebView& view, const char* store) {
    auto result = evaluate(view, std::string("(() => { const o = {}; for (let i = 0; i < ") + store +
                                     ".length; i++) { const k = " + store +
                                     ".key(i); Object.defineProperty(o, k, " + "{value: " + store +
                                     ".getItem(k), enumerable: true}); } return JSON.stringify(o); })()");
    if (!result.ok() || !result.value().is_string())
        return Json();
    return parseJson(result.value().get<std::string>()).value_or(Json());
}

bool writeItems(engine::WebView& view, const char* store,
                const std::vector<std::pair<std::string, std::string>>& items) {
    Json pairs = Json::array();
    for (const auto& [key, value] : items)
        pairs.push_back(Json::array({key, value}));
    return callAsync(view,
                     std::string("for (const [k, v] of pairs) ") + store + ".setItem(k, v); return true;",
                     Json{{"pairs", pairs}})
        .ok();
}

class SessionRoundTrip : public ::testing::Test {
protected:
    SessionRoundTrip() {
        prefs = SqlitePreferencesStore::create(prefsFolder.path() / "preferences.sqlite3").value();
        SessionEnvironment environment;
        environment.documentsDir = prefsFolder.path() / "Documents";
        environment.domains = testDomains();
        auto encryption = std::make_shared<const CookieEncryption>();
        jar = std::make_shared<CookieJarSync>(*prefs, scheduler);
        storageSync = std::make_unique<StorageSnapshotSync>(*prefs, scheduler, testDomains());
        exporter = std::make_unique<SessionExport>(*prefs, encryption, scheduler, std::move(environment));
        importer = std::make_unique<SessionImport>(*prefs, encryption, scheduler, jar);
    }

    void waitFor(const std::function<void(CookieJarSyncProtocol::Done)>& operation) {
        bool done = false;
        operation([&] { done = true; });
        ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
    }

    // A logged-in page of the profile with hostile items in both stores; returns the value
    // of the HTTP-only session cookie.
    std::string logInWithHostileStorage(const ProfileId& profile) {
        auto store = env.engine->dataStore(profile.text());
        auto view = env.makeWebView(store);
        RecordingNavigationDelegate nav;
        view->setNavigationDelegate(&nav);
        EXPECT_TRUE(loadAndWait(*view, nav, env.service->webURL("/")));
        EXPECT_TRUE(logIn(*view, nav, "alice"));
        EXPECT_TRUE(writeItems(*view, "localStorage", kHostileItems));
        EXPECT_TRUE(writeItems(*view, "sessionStorage", kHostileItems));
        pageLocal = readStore(*view, "localStorage");
        auto session = findCookie(allCookies(*store), "orvi_session");
        EXPECT_TRUE(session && session->isHTTPOnly);
        waitFor([&](auto done) { storageSync->saveStorage(profile, view, done); });
        view->setNavigationDelegate(nullptr);
        return session ? session->value : std::string();
    }

    // Loads the service in a fresh web view of the profile the way the application does:
    // the saved snapshot's document-start script, then the first request.
    std::shared_ptr<engine::WebView> openFresh(const ProfileId& profile, RecordingNavigationDelegate& nav,
                                               std::optional<std::string> url = std::nullopt) {
        auto view = env.makeWebView(env.engine->dataStore(profile.text()));
        view->setNavigationDelegate(&nav);
        if (auto saved = prefs->data(keys::storage(profile)))
            view->addUserScript(
                engine::UserScript{OrviUserScripts::storageRestoreScript(*parseJson(*saved), testDomains()),
                                   engine::InjectionTime::documentStart, engine::FrameScope::mainFrameOnly,
                                   engine::World::page});
        env.service->clearRequests();
        EXPECT_TRUE(loadAndWait(*view, nav, url.value_or(env.service->webURL("/"))));
        return view;
    }

    WebKitTestEnvironment env;
    TempDir prefsFolder;
    platform::GLibScheduler scheduler;
    std::unique_ptr<SqlitePreferencesStore> prefs;
    std::shared_ptr<CookieJarSync> jar;
    std::unique_ptr<StorageSnapshotSync> storageSync;
    std::unique_ptr<SessionExport> exporter;
    std::unique_ptr<SessionImport> importer;
    Json pageLocal;
};

} // namespace

TEST_F(SessionRoundTrip, RestoreScriptsWriteEveryCharacterIntoARealPageAndCaptureReadsItBack) {
    const auto profile = ProfileId::generate();
    const Json snapshot = {{"localStorage", itemsObject(kHostileItems)},
                           {"sessionStorage", itemsObject({{"only", "session"}, {"lines", "a\nb"}})}};
    prefs->setData(keys::storage(profile), snapshot.dump());

    auto view = env.makeWebView(env.engine->dataStore(profile.text()));
    RecordingNavigationDelegate nav;
    view->setNavigationDelegate(&nav);
    ASSERT_TRUE(loadAndWait(*view, nav, env.service->webURL("/echo")));
    ASSERT_TRUE(writeItems(*view, "localStorage", {{"stale", "removed by the restore"}}));
    waitFor([&](auto done) { storageSync->restoreStorage(profile, view, done); });
    EXPECT_EQ(readStore(*view, "localStorage"), snapshot["localStorage"]);
    EXPECT_EQ(readStore(*view, "sessionStorage"), snapshot["sessionStorage"]);

    prefs->remove(keys::storage(profile));
    waitFor([&](auto done) { storageSync->saveStorage(profile, view, done); });
    EXPECT_EQ(parseJson(prefs->data(keys::storage(profile)).value_or("")), snapshot);

    // A page of another host neither receives the snapshot nor replaces it.
    for (const std::string url : {"http://elsewhere.example.test/", "about:blank"}) {
        ASSERT_TRUE(loadAndWait(*view, nav, url));
        waitFor([&](auto done) { storageSync->restoreStorage(profile, view, done); });
        waitFor([&](auto done) { storageSync->saveStorage(profile, view, done); });
        const auto held =
            evaluate(*view, "(() => { try { return localStorage.length; } catch (e) { return 0; } })()");
        EXPECT_EQ(held.ok() ? held.value() : Json(), 0) << url;
        EXPECT_EQ(parseJson(prefs->data(keys::storage(profile)).value_or("")), snapshot) << url;
    }
    view->setNavigationDelegate(nullptr);
}

TEST_F(SessionRoundTrip, AnEncryptedExportFileMovesTheSessionIntoAnotherProfileWithoutPrintingIt) {
    LogCapture log;
    const auto from = ProfileId::generate();
    const auto to = ProfileId::generate();
    const auto sessionValue = logInWithHostileStorage(from);

    std::optional<std::string> envelope;
    bool exported = false;
    exporter->exportCookiesEncryptedFromDataStore(from, "пароль 2026", env.engine->dataStore(from.text()),
                                                  [&](std::optional<std::string> data) {
                                                      envelope = std::move(data);
                                                      exported = true;
                                                  });
    ASSERT_TRUE(runMainLoopUntil([&] { return exported; }));
    ASSERT_TRUE(envelope);
    auto file = SessionFile::writeNew(prefsFolder.path() / "moved", "session", ".orvi", *envelope);
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(fileMode(file.value()), 0600u);

    std::optional<Result<int>> imported;
    importer->importCookiesEncrypted(to, SessionFile::read(file.value()).value(), "пароль 2026",
                                     env.engine->dataStore(to.text()), [&](Result<int> r) { imported = r; });
    ASSERT_TRUE(runMainLoopUntil([&] { return imported.has_value(); }));
    ASSERT_TRUE(imported->ok());
    EXPECT_GE(imported->value(), 3);

    RecordingNavigationDelegate nav;
    auto view = openFresh(to, nav);
    const auto first = env.service->requestsTo("web.orvi.test", "/");
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.front().cookie("orvi_session"), sessionValue);
    EXPECT_EQ(readStore(*view, "localStorage"), pageLocal);
    view->setNavigationDelegate(nullptr);
    EXPECT_FALSE(log.containsSubstring(sessionValue));
}
