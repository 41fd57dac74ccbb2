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

using namespace orvi;
using namespace orvi::test;
using engine::FrameScope;
using engine::InjectionTime;
using engine::World;

namespace {

struct FactoryFixture {
    FactoryFixture() : factory(engine, preferences, scheduler, testDomains()) {}

    FakeWebView& fake(const std::shared_ptr<engine::WebView>& webView) {
        return static_cast<FakeWebView&>(*webView);
    }

    FakeEngine engine;
    MemoryPreferencesStore preferences;
    ManualScheduler scheduler;
    WebViewFactory factory;
};

const LocationSettings kLondon{"Europe/London", "en_GB", "Лондон", 51.5, -0.12};

} // namespace

TEST(WebViewFactory, CachesOneWebViewPerProfileUntilRemovedOrClearedWhichBlanksItLater) {
    LogCapture log;
    FactoryFixture f;
    f.factory.removeWebView(ProfileId::generate());
    EXPECT_TRUE(log.lines().empty()) << "a profile without a web view is no matter";
    EXPECT_EQ(f.scheduler.pendingCount(), 0u);

    const auto profile = makeProfile("Work");
    const auto old = f.factory.makeWebView(profile, std::nullopt);
    // A cached web view still shown somewhere leaves that place before it is handed out again.
    f.fake(old).inViewHierarchy = true;
    EXPECT_EQ(f.factory.makeWebView(profile, kLondon), old) << "whatever the location";
    EXPECT_EQ(f.fake(old).removeFromViewHierarchyCount, 1);
    EXPECT_FALSE(old->isInViewHierarchy());
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
    EXPECT_NE(other, renewed);
    EXPECT_EQ(f.factory.cachedCount(), 2u);
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
        // Without one the masking script uses the default location, not the profile's.
        std::optional<LocationSettings> location = kLondon;
    };
    const Case cases[] = {
        {false, std::nullopt, {"fallback"}},
        {true, std::nullopt, {"fallback", "masking"}},
        {true, std::nullopt, {"fallback", "masking"}, std::nullopt},
        {false, R"({"localStorage":{"k":"v"},"sessionStorage":{}})", {"fallback", "restore"}},
        {true, R"({"localStorage":{"k":"v"},"sessionStorage":{}})", {"fallback", "restore", "masking"}},
        {true, R"([1,2])", {"fallback", "masking"}},
        {true, "not json", {"fallback", "masking"}},
    };
    for (const auto& c : cases) {
        FactoryFixture f;
        auto profile = makeProfile("Work");
        profile.locationSettings = kLondon;
        f.preferences.setBoolean(keys::kEnableMaskingScript, c.masking);
        if (c.snapshot)
            f.preferences.setData(keys::storage(profile.id), *c.snapshot);
        const auto webView = f.factory.makeWebView(profile, c.location);

        std::vector<std::string> kinds;
        for (const auto& script : f.fake(webView).userScripts) {
            EXPECT_EQ(script.injectionTime, InjectionTime::documentStart);
            EXPECT_EQ(script.world, World::page);
            if (script.source == OrviUserScripts::imageBitmapFallbackScript()) {
                kinds.push_back("fallback");
                EXPECT_EQ(script.frameScope, FrameScope::allFrames);
            } else if (script.source ==
                       OrviUserScripts::webViewMaskingScript(
                           profile.id.text(), c.location.value_or(LocationSettings::defaultLocation()))) {
                kinds.push_back("masking");
                EXPECT_EQ(script.frameScope, FrameScope::allFrames);
            } else if (c.snapshot && script.source == OrviUserScripts::storageRestoreScript(
                                                          *parseJson(*c.snapshot), testDomains())) {
                kinds.push_back("restore");
                EXPECT_EQ(script.frameScope, FrameScope::mainFrameOnly);
            } else {
                kinds.push_back("unexpected");
            }
        }
        EXPECT_EQ(kinds, c.expectedKinds) << c.masking << " " << c.snapshot.value_or("-");
    }
}

TEST(WebViewFactory, RenewingTheStorageFillSwapsTheOldSnapshotForTheSavedOne) {
    LogCapture log;
    FactoryFixture f;
    const auto profile = makeProfile("Work");
    f.preferences.setData(keys::storage(profile.id),
                          R"({"localStorage":{"who":"alice"},"sessionStorage":{}})");
    const auto view = f.factory.makeWebView(profile, std::nullopt);
    const auto scriptsBefore = f.fake(view).userScripts.size();
    auto mentions = [&](const std::string& text) {
        return std::count_if(f.fake(view).userScripts.begin(), f.fake(view).userScripts.end(),
                             [&](const auto& s) { return s.source.find(text) != std::string::npos; });
    };
    ASSERT_EQ(mentions("alice"), 1);

    f.preferences.setData(keys::storage(profile.id), R"({"localStorage":{"who":"bob"},"sessionStorage":{}})");
    f.factory.renewStorageRestoreScript(*view);
    f.factory.renewStorageRestoreScript(*view);
    EXPECT_EQ(mentions("alice"), 0);
    EXPECT_EQ(mentions("bob"), 1);
    EXPECT_EQ(f.fake(view).userScripts.size(), scriptsBefore);

    // A view the factory did not build is left as it is.
    FakeWebView stranger(engine::WebViewConfiguration{});
    f.factory.renewStorageRestoreScript(stranger);
    EXPECT_TRUE(stranger.userScripts.empty());
}
