#include "core/page/WebViewFactory.h"

#include "core/prefs/PreferenceKeys.h"
#include "core/web/scripts/OrviUserScripts.h"
#include "fakes/FakeEngine.h"
#include "fakes/LogCapture.h"
#include "fakes/ManualScheduler.h"
#include "fakes/MemoryPreferencesStore.h"
#include "support/PageFakes.h"
#include "support/TestDomains.h"

#include <gtest/gtest.h>

using orvi::LocationSettings;
using orvi::Profile;
using orvi::ProfileId;
using orvi::StorageType;
using orvi::engine::FrameScope;
using orvi::engine::InjectionTime;
using orvi::engine::World;

namespace {

using orvi::test::makeProfile;

struct FactoryFixture {
    FactoryFixture() : factory(engine, preferences, scheduler, orvi::test::testDomains()) {}

    orvi::test::FakeWebView& fake(const std::shared_ptr<orvi::engine::WebView>& webView) {
        return static_cast<orvi::test::FakeWebView&>(*webView);
    }

    orvi::test::FakeEngine engine;
    orvi::test::MemoryPreferencesStore preferences;
    orvi::test::ManualScheduler scheduler;
    orvi::WebViewFactory factory;
};

const LocationSettings kLondon{"Europe/London", "en_GB", "Лондон", 51.5, -0.12};

} // namespace

TEST(WebViewFactory, SecondRequestForAProfileReturnsItsCachedWebViewWhateverTheLocation) {
    orvi::test::LogCapture log;
    FactoryFixture f;
    const auto profile = makeProfile("Work");
    const auto first = f.factory.makeWebView(profile, std::nullopt);
    // A cached web view still shown somewhere leaves that place before it is handed out again.
    f.fake(first).inViewHierarchy = true;
    const auto second = f.factory.makeWebView(profile, kLondon);
    EXPECT_EQ(first, second);
    EXPECT_EQ(f.fake(first).removeFromViewHierarchyCount, 1);
    EXPECT_FALSE(first->isInViewHierarchy());
    EXPECT_EQ(f.engine.webViews.size(), 1u);
    EXPECT_EQ(f.factory.makeWebView(makeProfile("Home"), std::nullopt) == first, false);
    EXPECT_EQ(f.factory.cachedCount(), 2u);
}

TEST(WebViewFactory, RemovedOrClearedWebViewsAreBlankedLaterAndTheNextRequestBuildsANewOne) {
    orvi::test::LogCapture log;
    FactoryFixture f;
    f.factory.removeWebView(ProfileId::generate());
    EXPECT_TRUE(log.lines().empty()) << "a profile without a web view is no matter";
    EXPECT_EQ(f.scheduler.pendingCount(), 0u);

    const auto profile = makeProfile("Work");
    const auto old = f.factory.makeWebView(profile, std::nullopt);
    f.factory.removeWebView(profile.id);
    EXPECT_TRUE(f.fake(old).htmlLoads.empty()) << "blanking waits for the main queue";
    f.scheduler.runPending();
    EXPECT_EQ(f.fake(old).stopCount, 1);
    ASSERT_EQ(f.fake(old).htmlLoads.size(), 1u);
    EXPECT_EQ(f.fake(old).htmlLoads[0], std::make_pair(std::string(), std::string()));

    const auto renewed = f.factory.makeWebView(profile, std::nullopt);
    EXPECT_NE(renewed, old);
    EXPECT_EQ(f.engine.webViews.size(), 2u);
    const auto other = f.factory.makeWebView(makeProfile("B"), std::nullopt);
    f.factory.clearCache();
    EXPECT_EQ(f.factory.cachedCount(), 0u);
    f.scheduler.runPending();
    EXPECT_EQ(f.fake(renewed).htmlLoads.size(), 1u);
    EXPECT_EQ(f.fake(other).htmlLoads.size(), 1u);
}

TEST(WebViewFactory, EveryProfileGetsItsOwnPersistentStoreTheLinuxUserAgentAndTheConfiguredSettings) {
    FactoryFixture f;
    const auto main = makeProfile("Main", StorageType::persistentMain);
    auto ephemeral = makeProfile("Temp", StorageType::ephemeral);
    ephemeral.desktopMode = true;
    const auto mainView = f.factory.makeWebView(main, std::nullopt);
    const auto ephemeralView = f.factory.makeWebView(ephemeral, std::nullopt);
    EXPECT_EQ(mainView->sharedDataStore(), f.engine.identifiedStores.at(main.id.text()));
    EXPECT_EQ(ephemeralView->sharedDataStore(), f.engine.identifiedStores.at(ephemeral.id.text()));
    EXPECT_TRUE(ephemeralView->dataStore().isPersistent());
    EXPECT_NE(mainView->sharedDataStore(), ephemeralView->sharedDataStore());

    EXPECT_NE(mainView->customUserAgent().find("Linux"), std::string::npos);
    const auto& config = f.fake(mainView).configuration;
    EXPECT_TRUE(config.javaScriptEnabled);
    EXPECT_FALSE(config.javaScriptCanOpenWindowsAutomatically);
    EXPECT_TRUE(config.mediaPlaybackRequiresUserAction);
    EXPECT_FALSE(config.elementFullscreenEnabled);
    EXPECT_TRUE(f.fake(ephemeralView).configuration.elementFullscreenEnabled);
}

TEST(WebViewFactory, ScriptsAreAddedInOrderOnlyWhenTheirConditionsHold) {
    struct Case {
        bool masking;
        std::optional<std::string> snapshot;
        std::vector<std::string> expectedKinds;
    };
    const Case cases[] = {
        {false, std::nullopt, {"fallback"}},
        {true, std::nullopt, {"fallback", "masking"}},
        {false, R"({"localStorage":{"k":"v"},"sessionStorage":{}})", {"fallback", "restore"}},
        {true, R"({"localStorage":{"k":"v"},"sessionStorage":{}})", {"fallback", "restore", "masking"}},
        {true, R"([1,2])", {"fallback", "masking"}},
        {true, "not json", {"fallback", "masking"}},
    };
    for (const auto& c : cases) {
        FactoryFixture f;
        const auto profile = makeProfile("Work");
        f.preferences.setBoolean(orvi::keys::kEnableMaskingScript, c.masking);
        if (c.snapshot)
            f.preferences.setData(orvi::keys::storage(profile.id), *c.snapshot);
        const auto webView = f.factory.makeWebView(profile, kLondon);

        std::vector<std::string> kinds;
        for (const auto& script : f.fake(webView).userScripts) {
            EXPECT_EQ(script.injectionTime, InjectionTime::documentStart);
            EXPECT_EQ(script.world, World::page);
            if (script.source == orvi::OrviUserScripts::imageBitmapFallbackScript()) {
                kinds.push_back("fallback");
                EXPECT_EQ(script.frameScope, FrameScope::allFrames);
            } else if (script.source ==
                       orvi::OrviUserScripts::webViewMaskingScript(profile.id.text(), kLondon)) {
                kinds.push_back("masking");
                EXPECT_EQ(script.frameScope, FrameScope::allFrames);
            } else if (c.snapshot &&
                       script.source == orvi::OrviUserScripts::storageRestoreScript(
                                            *orvi::parseJson(*c.snapshot), orvi::test::testDomains())) {
                kinds.push_back("restore");
                EXPECT_EQ(script.frameScope, FrameScope::mainFrameOnly);
            } else {
                kinds.push_back("unexpected");
            }
        }
        EXPECT_EQ(kinds, c.expectedKinds) << c.masking << " " << c.snapshot.value_or("-");
    }
}

TEST(WebViewFactory, MaskingScriptUsesTheDefaultLocationWhenNoneIsGiven) {
    FactoryFixture f;
    f.preferences.setBoolean(orvi::keys::kEnableMaskingScript, true);
    auto profile = makeProfile("Work");
    profile.locationSettings = kLondon;
    const auto webView = f.factory.makeWebView(profile, std::nullopt);
    ASSERT_EQ(f.fake(webView).userScripts.size(), 2u);
    EXPECT_EQ(
        f.fake(webView).userScripts[1].source,
        orvi::OrviUserScripts::webViewMaskingScript(profile.id.text(), LocationSettings::defaultLocation()));
}

TEST(WebViewFactory, RenewingTheStorageFillSwapsTheOldSnapshotForTheSavedOne) {
    orvi::test::LogCapture log;
    FactoryFixture f;
    const auto profile = makeProfile("Work");
    f.preferences.setData(orvi::keys::storage(profile.id),
                          R"({"localStorage":{"who":"alice"},"sessionStorage":{}})");
    const auto view = f.factory.makeWebView(profile, std::nullopt);
    const auto scriptsBefore = f.fake(view).userScripts.size();
    auto mentions = [&](const std::string& text) {
        return std::count_if(f.fake(view).userScripts.begin(), f.fake(view).userScripts.end(),
                             [&](const auto& s) { return s.source.find(text) != std::string::npos; });
    };
    ASSERT_EQ(mentions("alice"), 1);

    f.preferences.setData(orvi::keys::storage(profile.id),
                          R"({"localStorage":{"who":"bob"},"sessionStorage":{}})");
    f.factory.renewStorageRestoreScript(*view);
    f.factory.renewStorageRestoreScript(*view);
    EXPECT_EQ(mentions("alice"), 0);
    EXPECT_EQ(mentions("bob"), 1);
    EXPECT_EQ(f.fake(view).userScripts.size(), scriptsBefore);

    // A view the factory did not build is left as it is.
    orvi::test::FakeWebView stranger(orvi::engine::WebViewConfiguration{});
    f.factory.renewStorageRestoreScript(stranger);
    EXPECT_TRUE(stranger.userScripts.empty());
}
