#include "core/shell/SettingsViewModel.h"

#include "core/prefs/PreferenceKeys.h"
#include "core/session/CookieEncryption.h"
#include "core/session/CookieJarSync.h"
#include "core/session/SessionExport.h"
#include "core/session/SessionImport.h"
#include "core/session/StorageSnapshotSync.h"
#include "fakes/FakeEngine.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "support/PageFakes.h"
#include "support/TestDomains.h"

#include <gtest/gtest.h>

namespace orvi::test {
namespace {

engine::Cookie cookie(std::string name, std::string value, std::string domain = ".web.orvi.test") {
    return {std::move(name), std::move(value), std::move(domain), "/", false, false, 1893456000.0};
}

class RecordingArchive final : public ContainerArchiveProtocol {
public:
    void exportContainer(std::function<void(std::optional<std::filesystem::path>)> completion) override {
        exportDone = std::move(completion);
    }
    void importContainer(const std::filesystem::path&,
                         std::function<void(Result<std::monostate>)> completion) override {
        importDone = std::move(completion);
    }
    std::function<void(std::optional<std::filesystem::path>)> exportDone;
    std::function<void(Result<std::monostate>)> importDone;
};

class CountingBrowserImport final : public BrowserCookieImportProtocol {
public:
    void importFromBrowser(const ProfileId&, engine::DataStore&, const std::string&,
                           std::function<void(int)> completion) override {
        done = std::move(completion);
    }
    std::function<void(int)> done;
};

class SettingsViewModelTest : public ::testing::Test {
protected:
    SettingsViewModelTest() { view->currentURL = "http://web.orvi.test/chat"; }
    ~SettingsViewModelTest() override { scheduler.advance(std::chrono::hours(1)); }

    std::shared_ptr<SettingsViewModel> makeModel() {
        return SettingsViewModel::create(
            SettingsViewModel::Dependencies{prefs, scheduler, engine, testDomains(), storageSync, exporter,
                                            importer, vpn, archive, browser, [](engine::WebView&) {}});
    }

    // The plain export of a profile that holds `cookies` and the given storage.
    std::string plainExport(std::vector<engine::Cookie> cookies, const std::string& storage) {
        const auto other = ProfileId::generate();
        auto source = std::make_shared<FakeDataStore>(true);
        source->cookies.cookies = std::move(cookies);
        jar->saveCookies(other, source);
        prefs.setData(keys::storage(other), storage);
        std::optional<std::string> bytes;
        exporter->exportCookies(other, [&](std::optional<std::string> b) { bytes = std::move(b); });
        scheduler.runPending();
        return bytes.value_or("");
    }

    std::vector<std::string> liveCookies() const {
        std::vector<std::string> result;
        for (const auto& c : store->cookies.cookies)
            result.push_back(c.name + "=" + c.value + "@" + c.domain);
        std::sort(result.begin(), result.end());
        return result;
    }

    ManualScheduler scheduler;
    LogCapture log;
    MemoryPreferencesStore prefs;
    FakeEngine engine;
    std::shared_ptr<CookieJarSync> jar = std::make_shared<CookieJarSync>(prefs, scheduler);
    std::shared_ptr<StorageSnapshotSync> storageSync =
        std::make_shared<StorageSnapshotSync>(prefs, scheduler, testDomains());
    std::shared_ptr<SessionExport> exporter = std::make_shared<SessionExport>(
        prefs, std::make_unique<CookieEncryption>(), scheduler, SessionEnvironment{{}, testDomains()});
    std::shared_ptr<SessionImport> importer =
        std::make_shared<SessionImport>(prefs, std::make_unique<CookieEncryption>(), scheduler, jar);
    std::shared_ptr<FakeVPNDetection> vpn = std::make_shared<FakeVPNDetection>(scheduler);
    std::shared_ptr<RecordingArchive> archive;
    std::shared_ptr<CountingBrowserImport> browser;
    ProfileId profile = ProfileId::generate();
    std::shared_ptr<FakeDataStore> store = std::make_shared<FakeDataStore>(true, "profile");
    std::shared_ptr<FakeWebView> view =
        std::make_shared<FakeWebView>(engine::WebViewConfiguration{.dataStore = store});
};

TEST_F(SettingsViewModelTest, ChangesSurviveARestartAndACorruptLocationIsReplacedByTheNextSave) {
    auto fresh = makeModel();
    const auto moscow = LocationSettings::presets().at(1);
    fresh->setBlockExternalLinks(false);
    fresh->setNotificationsEnabled(false);
    fresh->setMediaPermissionsEnabled(true);
    fresh->setIgnoreVPNWarning(true);
    fresh->setLoadAllProfilesAtStartup(false);
    fresh->setHibernateAfter(HibernateAfter::oneHour);
    fresh->updateLocation(moscow);

    auto restarted = makeModel();
    EXPECT_FALSE(restarted->blockExternalLinks());
    EXPECT_FALSE(restarted->notificationsEnabled());
    EXPECT_TRUE(restarted->mediaPermissionsEnabled());
    EXPECT_TRUE(restarted->ignoreVPNWarning());
    EXPECT_FALSE(SettingsViewModel::loadsAllProfilesAtStartup(prefs));
    EXPECT_EQ(restarted->hibernateAfter(), HibernateAfter::oneHour);
    EXPECT_EQ(restarted->locationSettings(), moscow);

    // A corrupt location keeps the default until the next save replaces it.
    prefs.setData(keys::kLocationSettings, "{\"timezone\": 5");
    auto model = makeModel();
    EXPECT_EQ(model->locationSettings(), LocationSettings::defaultLocation());
    model->setNotificationsEnabled(false);
    EXPECT_EQ(makeModel()->locationSettings(), LocationSettings::defaultLocation());
    EXPECT_TRUE(parseJson(*prefs.data(keys::kLocationSettings)).has_value());
}

TEST_F(SettingsViewModelTest, TheVPNFindingIsPublishedAndWarnedAboutOnlyWhenNotIgnored) {
    vpn->vpn = true;
    for (const bool ignore : {false, true}) {
        prefs.setBoolean(keys::kIgnoreVPNWarning, ignore);
        LogCapture lines;
        auto model = makeModel();
        scheduler.runPending();
        EXPECT_TRUE(model->isVPNEnabled());
        EXPECT_EQ(lines.containsSubstring("VPN"), !ignore);
    }
    // The caller hears the answer even when the model is gone by then.
    std::optional<bool> heard;
    makeModel()->checkVPNStatus([&](bool found) { heard = found; });
    scheduler.runPending();
    EXPECT_EQ(heard, true);
}

TEST_F(SettingsViewModelTest, AnImportReplacesTheServiceSessionAndReloadsAndAStorageOnlyOneKeepsTheCookies) {
    store->cookies.cookies = {cookie("sid", "alice"), cookie("alice_only", "1"),
                              cookie("font", "keep", "fonts.example.test")};
    prefs.setData(keys::storage(profile), R"({"localStorage":{"user":"alice"},"sessionStorage":{}})");
    const auto file =
        plainExport({cookie("sid", "bob")}, R"({"localStorage":{"user":"bob"},"sessionStorage":{}})");

    auto model = makeModel();
    bool done = false;
    model->importFile(profile, file, view, [&] { done = true; });
    scheduler.runPending();

    EXPECT_TRUE(done);
    EXPECT_EQ(liveCookies(),
              (std::vector<std::string>{"font=keep@fonts.example.test", "sid=bob@.web.orvi.test"}));
    ASSERT_EQ(view->loads.size(), 1u);
    EXPECT_EQ(view->loads[0].url, "http://web.orvi.test/");
    EXPECT_NE(model->importResult()->find('1'), std::string::npos);
    const auto cookies = liveCookies();

    const std::string storageOnly =
        R"({"version":2,"cookies":[],"storage":{"localStorage":{"token":"bob"},"sessionStorage":{}}})";
    std::size_t evaluationsAtReload = 0;
    const auto evaluationsBefore = view->evaluations.size();
    model->importFile(profile, storageOnly, view, [&] { evaluationsAtReload = view->evaluations.size(); });
    scheduler.runPending();
    EXPECT_GE(evaluationsAtReload, evaluationsBefore + 2) << "storage restored before the reload";
    EXPECT_EQ(view->loads.size(), 2u);
    EXPECT_EQ(liveCookies(), cookies);
}

TEST_F(SettingsViewModelTest, AFileThatImportsNothingOrClearingWebDataLeavesTheSessionAndThePageAlone) {
    store->cookies.cookies = {cookie("sid", "alice")};
    const std::string emptyStorage =
        R"({"version":2,"cookies":[],"storage":{"localStorage":{},"sessionStorage":{}}})";
    struct Case {
        std::string data;
        std::shared_ptr<FakeWebView> webView;
    };
    const Case cases[] = {
        {"[{\"a\":1}]", view},                                // 9 bytes: too small
        {std::string(40, 'x'), view},                         // not a session file
        {emptyStorage, view},                                 // neither cookies nor stored values
        {plainExport({cookie("sid", "bob")}, "{}"), nullptr}, // nowhere to import to
    };
    auto model = makeModel();
    std::set<std::string> results;
    for (const auto& c : cases) {
        model->importFile(profile, c.data, c.webView, [] {});
        scheduler.runPending();
        ASSERT_TRUE(model->importResult().has_value());
        results.insert(*model->importResult());
    }
    EXPECT_EQ(results.size(), 3u) << "too small, nothing valid (twice), no web view";
    model->clearAllData();
    EXPECT_EQ(engine.defaultStore->removeAllDataCount, 1) << "clearing touches only the shared store";
    EXPECT_EQ(store->removeAllDataCount, 0);
    EXPECT_EQ(liveCookies(), std::vector<std::string>{"sid=alice@.web.orvi.test"});
    EXPECT_TRUE(view->loads.empty());
}

TEST_F(SettingsViewModelTest, EncryptedImportChecksSizeAndPasswordBeforeReplacingTheSession) {
    store->cookies.cookies = {cookie("sid", "alice")};
    auto source = std::make_shared<FakeDataStore>(true);
    source->cookies.cookies = {cookie("sid", "bob")};
    std::optional<std::string> envelope;
    exporter->exportCookiesEncryptedFromDataStore(ProfileId::generate(), "секрет", source,
                                                  [&](std::optional<std::string> b) { envelope = b; });
    scheduler.runPending();
    ASSERT_TRUE(envelope);

    auto model = makeModel();
    model->importEncryptedFile(profile, std::string(43, 'x'), "секрет", view, [] {});
    const auto tooSmall = model->importResult();
    ASSERT_TRUE(tooSmall);
    EXPECT_NE(tooSmall->find("43"), std::string::npos);
    model->importEncryptedFile(profile, std::string(44, 'x'), "секрет", view, [] {});
    scheduler.runPending();
    EXPECT_NE(model->importResult(), tooSmall) << "44 bytes reach the decryption";
    model->importEncryptedFile(profile, *envelope, "неверный", view, [] {});
    scheduler.runPending();
    EXPECT_EQ(liveCookies(), std::vector<std::string>{"sid=alice@.web.orvi.test"});
    EXPECT_TRUE(view->loads.empty());

    model->importEncryptedFile(profile, *envelope, "секрет", view, [] {});
    scheduler.runPending();
    EXPECT_EQ(liveCookies(), std::vector<std::string>{"sid=bob@.web.orvi.test"});
    EXPECT_EQ(view->loads.size(), 1u);
}

TEST_F(SettingsViewModelTest, ExportsAndContainerAndBrowserImportsReportTheirOutcomeAndHandBackWhatTheyMade) {
    auto model = makeModel();
    std::vector<std::optional<std::string>> exported;
    model->exportCookies(profile, [&](std::optional<std::string> b) { exported.push_back(b); });
    model->exportEncrypted(profile, "p", nullptr,
                           [&](std::optional<std::string> b) { exported.push_back(b); });
    scheduler.runPending();
    ASSERT_EQ(exported.size(), 2u);
    EXPECT_FALSE(exported[0] || exported[1]);
    EXPECT_TRUE(model->importResult().has_value());

    // The encrypted export from the page refreshes the saved storage first.
    store->cookies.cookies = {cookie("sid", "alice")};
    view->responder = [](const std::string& script, engine::World) -> std::optional<engine::ScriptResult> {
        if (script.find("JSON.stringify") != std::string::npos)
            return engine::ScriptResult(Json(R"({"localStorage":{"now":"1"},"sessionStorage":{}})"));
        return engine::ScriptResult(Json());
    };
    model->exportEncrypted(profile, "p", view, [&](std::optional<std::string> b) { exported.push_back(b); });
    scheduler.runPending();
    ASSERT_TRUE(exported.back().has_value());
    EXPECT_NE(prefs.data(keys::storage(profile)).value_or("").find("now"), std::string::npos);

    std::vector<std::optional<std::filesystem::path>> paths;
    for (const auto& written : {std::optional<std::filesystem::path>("/home/u/Documents/a.json"),
                                std::optional<std::filesystem::path>()}) {
        model->exportAllData([&](SettingsViewModel::FileCompletion done) { done(written); },
                             [&](std::optional<std::filesystem::path> p) { paths.push_back(p); });
        EXPECT_EQ(model->importResult()->find("/home/u/Documents/a.json") != std::string::npos,
                  written.has_value());
    }
    EXPECT_EQ(paths.size(), 2u);

    archive = std::make_shared<RecordingArchive>();
    browser = std::make_shared<CountingBrowserImport>();
    model = makeModel();

    std::optional<std::filesystem::path> container;
    model->exportContainer([&](std::optional<std::filesystem::path> p) { container = p; });
    archive->exportDone(std::filesystem::path("/tmp/c.zip"));
    EXPECT_NE(model->importResult()->find("/tmp/c.zip"), std::string::npos);
    EXPECT_EQ(container, std::filesystem::path("/tmp/c.zip"));

    bool imported = true;
    model->importContainer("/tmp/c.zip", [&](bool ok) { imported = ok; });
    archive->importDone(Result<std::monostate>(Error{"d", 1, "сломан"}));
    EXPECT_FALSE(imported);
    EXPECT_NE(model->importResult()->find("сломан"), std::string::npos);

    std::set<std::string> texts;
    for (const int found : {0, 3}) {
        model->importFromSafari(profile, store, "web.orvi.test");
        EXPECT_TRUE(model->isImportingFromSafari());
        browser->done(found);
        EXPECT_FALSE(model->isImportingFromSafari());
        texts.insert(*model->importResult());
    }
    EXPECT_EQ(texts.size(), 2u);
}

TEST(SettingsRules, FileNamesAndWhetherAFileCarriesStorage) {
    EXPECT_EQ(SettingsViewModel::exportFileName("Работа"), "orvi-cookies-Работа.orvicookies");
    EXPECT_EQ(SettingsViewModel::exportFileName("a/b").find('/'), std::string::npos);

    const std::pair<const char*, bool> storage[] = {
        {R"({"storage":{"localStorage":{"k":"v"}}})", true},
        {R"({"storage":{"sessionStorage":{"k":"v"},"localStorage":[]}})", true},
        {R"({"storage":{"localStorage":{},"sessionStorage":{}}})", false},
        {R"({"storage":"x"})", false},
        {R"([{"storage":{"localStorage":{"k":"v"}}}])", false},
        {"not json", false},
    };
    for (const auto& [text, carries] : storage)
        EXPECT_EQ(SettingsViewModel::fileCarriesStorage(text), carries) << text;
}

TEST_F(SettingsViewModelTest, DoNotDisturbIsOfferedOnlyWithRulesAndShowsWhatTheRulesHoldNow) {
    auto model = makeModel();
    EXPECT_FALSE(model->canChooseDoNotDisturb());
    model->setDoNotDisturb(DoNotDisturb::untilTurnedOff);
    EXPECT_FALSE(model->doNotDisturb());

    auto wall = std::chrono::system_clock::now();
    NotificationQuietRules rules{prefs, [&] { return wall; }};
    model->setQuietRules(&rules);
    model->setDoNotDisturb(DoNotDisturb::forOneHour);
    EXPECT_FALSE(rules.allows(ProfileId::generate()));
    auto reopened = makeModel();
    reopened->setQuietRules(&rules);
    EXPECT_EQ(reopened->doNotDisturb(), DoNotDisturb::forOneHour);
    wall += std::chrono::minutes(61);
    reopened->setQuietRules(&rules);
    EXPECT_FALSE(reopened->doNotDisturb()) << "an hour later it is over";
    model->setDoNotDisturb(DoNotDisturb::untilMorning);
    model->setDoNotDisturb(std::nullopt);
    EXPECT_TRUE(rules.allows(ProfileId::generate()));
}

} // namespace
} // namespace orvi::test
