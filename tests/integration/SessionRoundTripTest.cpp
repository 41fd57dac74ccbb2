#include "core/page/PageDownloads.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewFactory.h"
#include "core/page/WebViewSessions.h"
#include "core/prefs/PreferenceKeys.h"
#include "core/prefs/SqlitePreferencesStore.h"
#include "core/session/CookieJarSync.h"
#include "core/session/SessionExport.h"
#include "core/session/SessionFile.h"
#include "core/session/SessionImport.h"
#include "core/session/StorageSnapshotSync.h"
#include "core/shell/MainWebViewModel.h"
#include "core/shell/SettingsViewModel.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "fakes/LogCapture.h"
#include "fakes/RecordingFileSaving.h"
#include "integration/WebKitTestSupport.h"
#include "platform/linux/GLibScheduler.h"
#include "support/NamedProfile.h"
#include "support/PageFakes.h"
#include "support/TestDomains.h"
#include "ui/SettingsWindow.h"

#include <gtest/gtest.h>
#include <gtkmm/init.h>

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
        storageSync = std::make_shared<StorageSnapshotSync>(*prefs, scheduler, testDomains());
        exporter = std::make_shared<SessionExport>(*prefs, encryption, scheduler, std::move(environment));
        importer = std::make_shared<SessionImport>(*prefs, encryption, scheduler, jar);
    }

    void waitFor(const std::function<void(CookieJarSyncProtocol::Done)>& operation) {
        bool done = false;
        operation([&] { done = true; });
        ASSERT_TRUE(runMainLoopUntil([&] { return done; }));
    }

    // A logged-in page of the profile with hostile items in both stores; returns the value
    // of the HTTP-only session cookie.
    std::string logInWithHostileStorage(const ProfileId& profile, const std::string& user = "alice") {
        auto store = env.engine->dataStore(profile.text());
        RecordingNavigationDelegate nav;
        auto view = env.makeWebView(store, &nav);
        EXPECT_TRUE(logIn(env, *view, nav, user));
        EXPECT_TRUE(writeItems(*view, "localStorage", kHostileItems));
        EXPECT_TRUE(writeItems(*view, "sessionStorage", kHostileItems));
        pageLocal = readStore(*view, "localStorage");
        auto session = findCookie(allCookies(*store), "orvi_session");
        EXPECT_TRUE(session && session->isHTTPOnly);
        waitFor([&](auto done) { storageSync->saveStorage(profile, view, done); });
        view->setNavigationDelegate(nullptr);
        return session ? session->value : std::string();
    }

    WebKitTestEnvironment env;
    TempDir prefsFolder;
    platform::GLibScheduler scheduler;
    std::unique_ptr<SqlitePreferencesStore> prefs;
    std::shared_ptr<CookieJarSync> jar;
    std::shared_ptr<StorageSnapshotSync> storageSync;
    std::shared_ptr<SessionExport> exporter;
    std::shared_ptr<SessionImport> importer;
    Json pageLocal;
};

} // namespace

TEST_F(SessionRoundTrip, RestoreScriptsWriteEveryCharacterIntoARealPageAndCaptureReadsItBack) {
    const auto profile = ProfileId::generate();
    const Json snapshot = {{"localStorage", itemsObject(kHostileItems)},
                           {"sessionStorage", itemsObject({{"only", "session"}, {"lines", "a\nb"}})}};
    prefs->setData(keys::storage(profile), snapshot.dump());

    RecordingNavigationDelegate nav;
    auto view = env.makeWebView(env.engine->dataStore(profile.text()), &nav);
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

std::string pageValue(engine::WebView& view, const std::string& expression) {
    auto result = evaluate(view, expression);
    return result.ok() && result.value().is_string() ? result.value().get<std::string>() : "<none>";
}

// A profile logged in as one user imports other users' session files through the settings
// screen, a plain one from a saved session and an encrypted one taken straight from an engine
// store: after each reload the page and the server see only that file's user.
TEST_F(SessionRoundTrip, SessionFilesImportedThroughTheSettingsScreenReplaceTheUserWithoutPrintingIt) {
    Gtk::init_gtkmm_internals();
    LogCapture log;
    const auto bob = ProfileId::generate();
    const auto bobSession = logInWithHostileStorage(bob, "bob");
    waitFor([&](auto done) { jar->saveCookies(bob, env.engine->dataStore(bob.text()), done); });
    std::optional<std::string> bobFile;
    exporter->exportCookies(bob, [&](std::optional<std::string> bytes) { bobFile = std::move(bytes); });
    ASSERT_TRUE(runMainLoopUntil([&] { return bobFile.has_value(); }));

    const auto carol = ProfileId::generate();
    const auto carolSession = logInWithHostileStorage(carol, "carol");
    std::optional<std::optional<std::string>> envelope;
    exporter->exportCookiesEncryptedFromDataStore(carol, "пароль 2026", env.engine->dataStore(carol.text()),
                                                  [&](std::optional<std::string> data) { envelope = data; });
    ASSERT_TRUE(runMainLoopUntil([&] { return envelope.has_value(); }));
    ASSERT_TRUE(*envelope);
    const auto carolFile =
        SessionFile::writeNew(prefsFolder.path() / "moved", "session", ".orvi", **envelope);
    ASSERT_TRUE(carolFile.ok());
    EXPECT_EQ(fileMode(carolFile.value()), 0600u);

    // Alice's page, with a value of her own that Bob's session does not have, saved before
    // her web view is built: its document-start fill then carries that value.
    const auto alice = namedProfile(ProfileId::generate(), "Работа");
    RecordingNavigationDelegate nav;
    {
        auto first = env.makeWebView(env.engine->dataStore(alice.id.text()), &nav);
        ASSERT_TRUE(logIn(env, *first, nav, "alice"));
        ASSERT_TRUE(evaluate(*first, "localStorage.setItem('alice.draft', 'hi'); "
                                     "document.cookie = 'alice_pref=1; path=/; max-age=86400'; true")
                        .ok());
        waitFor([&](auto done) { storageSync->saveStorage(alice.id, first, done); });
        first->setNavigationDelegate(nullptr);
    }
    WebViewFactory factory(*env.engine, *prefs, scheduler, testDomains());
    auto aliceView = factory.makeWebView(alice, std::nullopt);
    aliceView->setNavigationDelegate(&nav);
    ASSERT_TRUE(loadAndWait(*aliceView, nav, env.service->webURL("/")));
    ASSERT_EQ(pageValue(*aliceView, "localStorage.getItem('alice.draft')"), "hi");

    const auto domains = testDomains();
    FakeProfileStore profiles({alice});
    RecordingNotificationService notifications;
    WebViewSessions sessions;
    PageDownloads pending{std::make_shared<RecordingFileSaving>(), {env.root, env.root}};
    auto mainModel = MainWebViewModel::create(profiles, SessionSync{jar, storageSync}, exporter,
                                              std::make_shared<NavigationPolicyService>(domains),
                                              UnreadDetectionService::create(), notifications,
                                              CoordinatorContext{scheduler, domains, sessions, pending});
    sessions.recordOwner(aliceView, alice.id);
    mainModel->coordinator()->attach(aliceView, std::make_shared<FakePlacement>());
    aliceView->setNavigationDelegate(mainModel->coordinator().get());

    FakeVPNDetection vpn(scheduler);
    auto settings = SettingsViewModel::create(SettingsViewModel::Dependencies{
        *prefs, scheduler, *env.engine, domains, storageSync, exporter, importer,
        std::shared_ptr<VPNDetectionServiceProtocol>(&vpn, [](auto*) {}), nullptr, nullptr,
        [&](engine::WebView& view) { factory.renewStorageRestoreScript(view); }});
    Gtk::Window mainWindow;
    ui::SettingsWindow screen(
        mainWindow, ui::SettingsWindow::Context{settings, mainModel, profiles, env.root, domains.webHost});

    // A file one byte short of the smallest envelope is refused before any decryption.
    const auto tiny = SessionFile::writeNew(env.root, "tiny", ".orvi", std::string(43, 'x'));
    ASSERT_TRUE(tiny.ok());
    screen.importEncryptedFile(tiny.value(), "секрет");
    EXPECT_NE(std::string(screen.resultLabel().get_text()).find("43"), std::string::npos);
    EXPECT_EQ(pageValue(*aliceView, "localStorage.getItem('orvi.token')"), "token-alice");

    // Marks the document on screen, so that each wait below ends only in the reloaded one.
    auto importAndWait = [&](const std::function<void()>& import) {
        env.service->clearRequests();
        ASSERT_TRUE(evaluate(*aliceView, "window.beforeImport = 'yes'; true").ok());
        import();
        ASSERT_TRUE(runMainLoopUntil([&] {
            return pageValue(*aliceView, "window.beforeImport || document.readyState") == "complete";
        }));
    };
    const auto file = SessionFile::writeNew(env.root, "bob", ".json", *bobFile);
    ASSERT_TRUE(file.ok());
    importAndWait([&] { screen.importPlainFile(file.value()); });
    const auto reloaded = env.service->requestsTo(domains.webHost, "/").front();
    EXPECT_EQ(reloaded.cookie("orvi_session"), bobSession);
    EXPECT_EQ(reloaded.cookie("alice_pref"), std::nullopt);
    EXPECT_EQ(pageValue(*aliceView, "localStorage.getItem('orvi.token')"), "token-bob");
    EXPECT_EQ(pageValue(*aliceView, "localStorage.getItem('alice.draft')"), "<none>");
    EXPECT_EQ(
        findCookie(allCookies(*aliceView->sharedDataStore()), "orvi_user").value_or(engine::Cookie{}).value,
        "bob");

    importAndWait([&] { screen.importEncryptedFile(carolFile.value(), "пароль 2026"); });
    EXPECT_EQ(env.service->requestsTo(domains.webHost, "/").front().cookie("orvi_session"), carolSession);
    EXPECT_EQ(readStore(*aliceView, "localStorage"), pageLocal);
    for (const auto& session : {bobSession, carolSession})
        EXPECT_FALSE(log.containsSubstring(session));
    mainModel->coordinator()->detach(aliceView);
    aliceView->setNavigationDelegate(nullptr);
}
