#include "core/prefs/PreferenceKeys.h"
#include "integration/WebKitTestSupport.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

namespace {

const LocationSettings kLondon{"Europe/London", "en_GB", "Лондон", 51.5072, -0.1276};

Json page(engine::WebView& view, const std::string& script) {
    return valueOf(view, script);
}
// The client world sees the storage as it really is: the masking script patches only the
// page world's Storage.
Json raw(engine::WebView& view, const std::string& script) {
    return valueOf(view, script, engine::World::client);
}

// Masked pages of profiles of one factory, each profile with a store of its own.
struct MaskedPages {
    MaskedPages() { fixture.preferences.setBoolean(keys::kEnableMaskingScript, true); }

    // The profile's page, loaded after `before` has had the view.
    std::shared_ptr<engine::WebView> open(const Profile& profile,
                                          const std::function<void(engine::WebView&)>& before = {}) {
        auto view = fixture.open(profile, profile.locationSettings);
        if (before)
            before(*view);
        EXPECT_TRUE(fixture.loadHTML(*view, "<!DOCTYPE html><body>page</body>", fixture.webURL("/")));
        return view;
    }

    WebFixture fixture;
};

} // namespace

TEST(MaskingScript, TimeZoneOffsetFollowsTheFixedTableAndLanguageTheLocale) {
    struct Case {
        std::string timezone;
        std::string locale;
        int offset;
        std::string languages;
    };
    const Case cases[] = {
        {"Europe/London", "en_GB", 0, R"(["en-GB","en","en-US","en"])"},
        {"Asia/Tokyo", "en", -540, R"(["en-RU","en","en-US","en"])"},
        {"Mars/Olympus", "", -300, R"(["ru-RU","ru","en-US","en"])"},
    };
    MaskedPages pages;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timezone + " " + c.locale);
        auto view = pages.open(pages.fixture.makeProfile(
            "Work", LocationSettings{c.timezone, c.locale, "X", std::nullopt, std::nullopt}));
        EXPECT_EQ(page(*view, "new Date(2024, 6, 1).getTimezoneOffset()"), c.offset);
        EXPECT_EQ(page(*view, "new Date(2024, 0, 1).getTimezoneOffset()"), c.offset);
        EXPECT_EQ(page(*view, "navigator.language"), Json::parse(c.languages)[0]);
        EXPECT_EQ(page(*view, "JSON.stringify(navigator.languages)"), c.languages);
    }
}

TEST(MaskingScript, HandlersHideKeysTakeTheProfilePrefixAndPositionsAndStoredTextsComeUnchanged) {
    MaskedPages pages;
    // Message handlers are hidden from every later script; the system's own world keeps its.
    int posts = 0;
    int clientPosts = 0;
    auto view = pages.open(pages.fixture.makeProfile("Work", kLondon), [&](engine::WebView& v) {
        v.addScriptMessageHandler("probeHandler", engine::World::page, [&](const Json&) { ++posts; });
        v.addScriptMessageHandler("clientProbeHandler", engine::World::client,
                                  [&](const Json&) { ++clientPosts; });
        v.addUserScript(engine::UserScript{
            "window.__laterScriptSaw = typeof (window.webkit && window.webkit.messageHandlers);",
            engine::InjectionTime::documentStart, engine::FrameScope::allFrames, engine::World::page});
    });
    EXPECT_EQ(page(*view, "window.__laterScriptSaw"), "undefined");
    EXPECT_EQ(page(*view, "typeof window.webkit.messageHandlers"), "undefined");
    EXPECT_EQ(page(*view, "'messageHandlers' in window.webkit"), false);
    EXPECT_EQ(page(*view, "delete window.webkit; typeof window.webkit.messageHandlers"), "undefined");
    EXPECT_EQ(posts, 0);
    EXPECT_EQ(page(*view, "new Date().getTimezoneOffset()"), 0) << "the rest of the masking still applies";
    raw(*view, "window.webkit.messageHandlers.clientProbeHandler.postMessage(1); true");
    EXPECT_TRUE(runMainLoopUntil([&] { return clientPosts == 1; }));

    const std::string city = "Лондон \"</script>\n'\\\xE2\x80\xA8 😀";
    const auto profile = pages.fixture.makeProfile(
        "Home", LocationSettings{"Europe/London\"", "en_GB\\", city, 95.0, -0.1276});
    view = pages.open(profile);
    const auto result = callAsync(*view, R"(
        const current = await new Promise((resolve) => navigator.geolocation.getCurrentPosition(resolve));
        const watched = await new Promise((resolve) => navigator.geolocation.watchPosition(resolve));
        return [current.coords.latitude, current.coords.longitude, current.coords.accuracy,
                watched.coords.latitude, typeof navigator.geolocation.watchPosition(() => {})];
    )",
                                  Json::object());
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_EQ(result.value(), Json::parse("[95, -0.1276, 25, 95, \"number\"]"));
    EXPECT_EQ(raw(*view, "localStorage.getItem('_orviWrapperLocation')"), city);
    EXPECT_EQ(raw(*view, "localStorage.getItem('_orviWrapperTimezone')"), "Europe/London\"");
    EXPECT_EQ(raw(*view, "localStorage.getItem('_orviWrapperLocale')"), "en_GB\\");
    EXPECT_EQ(page(*view, "new Date().getTimezoneOffset()"), -300);

    // Page keys are stored under the profile's prefix, and clear() removes only those.
    const auto prefix = "_orvi_" + profile.id.text().substr(0, 8) + "_";
    page(*view, "localStorage.setItem('token', 'secret'); true");
    EXPECT_EQ(page(*view, "localStorage.getItem('token')"), "secret");
    EXPECT_EQ(raw(*view, "localStorage.getItem('" + prefix + "token')"), "secret");
    EXPECT_EQ(raw(*view, "localStorage.getItem('token')"), nullptr);
    EXPECT_EQ(raw(*view, "localStorage.getItem('_orviWrapperProfileId')"), profile.id.text());
    EXPECT_EQ(raw(*view, "sessionStorage.getItem('_orviWrapperProfileId')"), profile.id.text());
    raw(*view, "localStorage.setItem('_orvi_AAAAAAAA_other', 'x'); localStorage.setItem('plain', 'y'); true");
    page(*view, "localStorage.setItem('mine', '1'); localStorage.setItem('alsoMine', '2'); "
                "localStorage.clear(); true");
    EXPECT_EQ(raw(*view, "JSON.stringify(Object.keys(localStorage).sort())").get<std::string>(),
              "[\"_orviWrapperLocale\",\"_orviWrapperLocation\",\"_orviWrapperProfileId\","
              "\"_orviWrapperTimezone\",\"_orvi_AAAAAAAA_other\",\"plain\"]");
}
