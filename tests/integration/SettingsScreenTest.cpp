#include "core/page/PageDownloads.h"
#include "core/page/UnreadDetectionService.h"
#include "core/page/WebViewFactory.h"
#include "core/page/WebViewSessions.h"
#include "core/session/CookieEncryption.h"
#include "core/session/CookieJarSync.h"
#include "core/session/SessionExport.h"
#include "core/session/SessionFile.h"
#include "core/session/SessionImport.h"
#include "core/session/StorageSnapshotSync.h"
#include "core/shell/MainWebViewModel.h"
#include "core/shell/SettingsViewModel.h"
#include "core/web/policy/NavigationPolicyService.h"
#include "fakes/LogCapture.h"
#include "fakes/MemoryPreferencesStore.h"
#include "fakes/RecordingFileSaving.h"
#include "integration/WebKitTestSupport.h"
#include "platform/linux/GLibScheduler.h"
#include "support/PageFakes.h"
#include "ui/PasswordSheets.h"
#include "ui/SettingsWindow.h"

#include <gtest/gtest.h>
#include <gtkmm/init.h>

using namespace orvi;
using namespace orvi::test;

namespace {

void initGtkmm() {
    static const bool done = [] {
        Gtk::init_gtkmm_internals();
        return true;
    }();
    (void)done;
}

std::string pageValue(engine::WebView& view, const std::string& expression) {
    auto result = evaluate(view, expression);
    return result.ok() && result.value().is_string() ? result.value().get<std::string>()
                                                     : std::string("<none>");
}

} // namespace

TEST(SettingsScreen, EncryptedExportStaysDisabledUntilBothPasswordsMatchAndAreNotEmpty) {
    initGtkmm();
    Gtk::Window parent;
    std::vector<std::string> exported;
    ui::ExportPasswordSheet sheet(parent, [&](std::string password) { exported.push_back(password); });
    struct Case {
        const char* password;
        const char* confirmation;
        bool enabled;
        bool mismatchShown;
    };
    const Case cases[] = {
        {"", "", false, false},           {"", "секрет", false, false},      {"секрет", "", false, true},
        {"секрет", "секре", false, true}, {"секрет", "секрет", true, false},
    };
    for (const auto& c : cases) {
        sheet.passwordEntry().set_text(c.password);
        sheet.confirmationEntry().set_text(c.confirmation);
        EXPECT_EQ(sheet.exportButton().get_sensitive(), c.enabled) << c.password << " / " << c.confirmation;
        EXPECT_EQ(sheet.mismatchLabel().get_visible(), c.mismatchShown)
            << c.password << " / " << c.confirmation;
    }
    sheet.passwordEntry().set_text("секрет");
    sheet.confirmationEntry().set_text("другой");
    g_signal_emit_by_name(sheet.exportButton().gobj(), "clicked");
    EXPECT_TRUE(exported.empty());
    sheet.confirmationEntry().set_text("секрет");
    g_signal_emit_by_name(sheet.exportButton().gobj(), "clicked");
    EXPECT_EQ(exported, std::vector<std::string>{"секрет"});
}

// A profile logged in as one user imports another user's session file through the settings
// screen: after the reload the page and the server see only the other user.
TEST(SettingsScreen, AnImportedSessionReplacesTheLoggedInUser) {
    initGtkmm();
    LogCapture log;
    WebKitTestEnvironment env;
    platform::GLibScheduler scheduler;
    auto domains = OrviDomains::fromFile(env.service->writeEndpointsFile(env.root).string()).value();
    MemoryPreferencesStore preferences;
    auto encryption = std::make_shared<const CookieEncryption>();
    auto jar = std::make_shared<CookieJarSync>(preferences, scheduler);
    auto storage = std::make_shared<StorageSnapshotSync>(preferences, scheduler, domains);
    auto exporter = std::make_shared<SessionExport>(preferences, encryption, scheduler,
                                                    SessionEnvironment{env.root, domains});
    auto importer = std::make_shared<SessionImport>(preferences, encryption, scheduler, jar);

    // Bob's session file, as the plain export writes it.
    const auto bob = ProfileId::generate();
    auto bobView = env.makeWebView(env.engine->dataStore(bob.text()));
    RecordingNavigationDelegate nav;
    bobView->setNavigationDelegate(&nav);
    ASSERT_TRUE(loadAndWait(*bobView, nav, env.service->webURL("/")));
    ASSERT_TRUE(logIn(*bobView, nav, "bob"));
    int saves = 0;
    jar->saveCookies(bob, bobView->sharedDataStore(), [&] { ++saves; });
    storage->saveStorage(bob, bobView, [&] { ++saves; });
    ASSERT_TRUE(runMainLoopUntil([&] { return saves == 2; }));
    std::optional<std::string> bobFile;
    exporter->exportCookies(bob, [&](std::optional<std::string> bytes) { bobFile = std::move(bytes); });
    ASSERT_TRUE(runMainLoopUntil([&] { return bobFile.has_value(); }));
    bobView->setNavigationDelegate(nullptr);
    const auto bobSession =
        findCookie(allCookies(*bobView->sharedDataStore()), "orvi_session").value_or(engine::Cookie{}).value;

    // Alice's page, with a value of her own that Bob's session does not have, saved before
    // her web view is built: its document-start fill then carries that value.
    Profile alice = Profile::makeDefault();
    alice.name = "Работа";
    {
        auto first = env.makeWebView(env.engine->dataStore(alice.id.text()));
        first->setNavigationDelegate(&nav);
        ASSERT_TRUE(loadAndWait(*first, nav, env.service->webURL("/")));
        ASSERT_TRUE(logIn(*first, nav, "alice"));
        ASSERT_TRUE(evaluate(*first, "localStorage.setItem('alice.draft', 'hi'); "
                                     "document.cookie = 'alice_pref=1; path=/; max-age=86400'; true")
                        .ok());
        bool saved = false;
        storage->saveStorage(alice.id, first, [&] { saved = true; });
        ASSERT_TRUE(runMainLoopUntil([&] { return saved; }));
        first->setNavigationDelegate(nullptr);
    }
    WebViewFactory factory(*env.engine, preferences, scheduler, domains);
    auto aliceView = factory.makeWebView(alice, std::nullopt);
    aliceView->setNavigationDelegate(&nav);
    ASSERT_TRUE(loadAndWait(*aliceView, nav, env.service->webURL("/")));
    ASSERT_EQ(pageValue(*aliceView, "localStorage.getItem('alice.draft')"), "hi");

    FakeProfileStore profiles({alice});
    RecordingNotificationService notifications;
    WebViewSessions sessions;
    PageDownloads pending{std::make_shared<RecordingFileSaving>(), {env.root, env.root}};
    auto mainModel = MainWebViewModel::create(profiles, SessionSync{jar, storage}, exporter,
                                              std::make_shared<NavigationPolicyService>(domains),
                                              UnreadDetectionService::create(), notifications,
                                              CoordinatorContext{scheduler, domains, sessions, pending});
    sessions.recordOwner(aliceView, alice.id);
    mainModel->coordinator()->attach(aliceView, std::make_shared<FakePlacement>());
    aliceView->setNavigationDelegate(mainModel->coordinator().get());

    FakeVPNDetection vpn(scheduler);
    auto settings = SettingsViewModel::create(SettingsViewModel::Dependencies{
        preferences, scheduler, *env.engine, domains, storage, exporter, importer,
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

    const auto file = SessionFile::writeNew(env.root, "bob", ".json", *bobFile);
    ASSERT_TRUE(file.ok());
    env.service->clearRequests();
    // Marks the document on screen, so that the wait below ends only in the reloaded one.
    ASSERT_TRUE(evaluate(*aliceView, "window.beforeImport = 'yes'; true").ok());
    screen.importPlainFile(file.value());
    ASSERT_TRUE(runMainLoopUntil(
        [&] { return pageValue(*aliceView, "window.beforeImport || document.readyState") == "complete"; }));
    EXPECT_EQ(env.service->requestsTo(domains.webHost, "/").front().cookie("orvi_session"), bobSession);
    EXPECT_EQ(pageValue(*aliceView, "localStorage.getItem('orvi.token')"), "token-bob");
    EXPECT_EQ(pageValue(*aliceView, "localStorage.getItem('alice.draft')"), "<none>");
    EXPECT_EQ(
        findCookie(allCookies(*aliceView->sharedDataStore()), "orvi_user").value_or(engine::Cookie{}).value,
        "bob");
    EXPECT_EQ(env.service->requestsTo(domains.webHost, "/").front().cookie("alice_pref"), std::nullopt);
    mainModel->coordinator()->detach(aliceView);
    aliceView->setNavigationDelegate(nullptr);
}
