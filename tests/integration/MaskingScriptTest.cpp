#include "core/prefs/PreferenceKeys.h"
#include "integration/WebFixture.h"

#include <gtest/gtest.h>

using namespace orvi;
using namespace orvi::test;

namespace {

const LocationSettings kLondon{"Europe/London", "en_GB", "Лондон", 51.5072, -0.1276};

struct MaskedPage {
    explicit MaskedPage(const LocationSettings& location = kLondon, const std::string& extraHead = "") {
        fixture.preferences.setBoolean(keys::kEnableMaskingScript, true);
        profile = fixture.makeProfile("Work", location);
        view = fixture.open(profile, location);
        loaded = fixture.loadHTML(
            *view, "<!DOCTYPE html><html><head>" + extraHead + "</head><body>page</body></html>",
            fixture.webURL("/"));
    }

    Json page(const std::string& script) { return valueOf(evaluate(*view, script, engine::World::page)); }
    // The client world sees the storage as it really is: the masking script patches only
    // the page world's Storage.
    Json raw(const std::string& script) { return valueOf(evaluate(*view, script, engine::World::client)); }

    static Json valueOf(const engine::ScriptResult& result) {
        EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().message);
        return result.ok() ? result.value() : Json();
    }

    std::string prefix() const { return "_orvi_" + profile.id.text().substr(0, 8) + "_"; }

    WebFixture fixture;
    Profile profile = fixture.makeProfile("unused", kLondon);
    std::shared_ptr<engine::WebView> view;
    bool loaded = false;
};

} // namespace

TEST(MaskingScript, PageKeysAreStoredUnderTheProfilePrefixAndClearRemovesOnlyThose) {
    MaskedPage page;
    ASSERT_TRUE(page.loaded);
    page.page("localStorage.setItem('token', 'secret'); true");
    EXPECT_EQ(page.page("localStorage.getItem('token')"), "secret");
    EXPECT_EQ(page.raw("localStorage.getItem('" + page.prefix() + "token')"), "secret");
    EXPECT_EQ(page.raw("localStorage.getItem('token')"), nullptr);
    EXPECT_EQ(page.raw("localStorage.getItem('_orviWrapperProfileId')"), page.profile.id.text());
    EXPECT_EQ(page.raw("sessionStorage.getItem('_orviWrapperProfileId')"), page.profile.id.text());

    page.raw("localStorage.setItem('_orvi_AAAAAAAA_other', 'x'); localStorage.setItem('plain', 'y'); true");
    page.page("localStorage.setItem('mine', '1'); localStorage.setItem('alsoMine', '2'); "
              "localStorage.clear(); true");
    EXPECT_EQ(page.raw("JSON.stringify(Object.keys(localStorage).sort())").get<std::string>(),
              "[\"_orviWrapperLocale\",\"_orviWrapperLocation\",\"_orviWrapperProfileId\","
              "\"_orviWrapperTimezone\",\"_orvi_AAAAAAAA_other\",\"plain\"]");
}

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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.timezone + " " + c.locale);
        MaskedPage page(LocationSettings{c.timezone, c.locale, "X", std::nullopt, std::nullopt});
        ASSERT_TRUE(page.loaded);
        EXPECT_EQ(page.page("new Date(2024, 6, 1).getTimezoneOffset()"), c.offset);
        EXPECT_EQ(page.page("new Date(2024, 0, 1).getTimezoneOffset()"), c.offset);
        EXPECT_EQ(page.page("navigator.language"), Json::parse(c.languages)[0]);
        EXPECT_EQ(page.page("JSON.stringify(navigator.languages)"), c.languages);
    }
}

TEST(MaskingScript, PositionsComeFromTheProfilesCoordinatesAndStoredTextsReachThePageUnchanged) {
    const std::string city = "Лондон \"</script>\n'\\\xE2\x80\xA8 😀";
    MaskedPage page(LocationSettings{"Europe/London\"", "en_GB\\", city, 95.0, -0.1276});
    ASSERT_TRUE(page.loaded);
    const auto result = callAsync(*page.view, R"(
        const current = await new Promise((resolve) => navigator.geolocation.getCurrentPosition(resolve));
        const watched = await new Promise((resolve) => navigator.geolocation.watchPosition(resolve));
        return [current.coords.latitude, current.coords.longitude, current.coords.accuracy,
                watched.coords.latitude, typeof navigator.geolocation.watchPosition(() => {})];
    )",
                                  Json::object());
    ASSERT_TRUE(result.ok()) << result.error().message;
    EXPECT_EQ(result.value(), Json::parse("[95, -0.1276, 25, 95, \"number\"]"));
    EXPECT_EQ(page.raw("localStorage.getItem('_orviWrapperLocation')"), city);
    EXPECT_EQ(page.raw("localStorage.getItem('_orviWrapperTimezone')"), "Europe/London\"");
    EXPECT_EQ(page.raw("localStorage.getItem('_orviWrapperLocale')"), "en_GB\\");
    EXPECT_EQ(page.page("new Date().getTimezoneOffset()"), -300);
}

TEST(MaskingScript, MessageHandlersAreHiddenFromEveryLaterScript) {
    WebFixture fixture;
    fixture.preferences.setBoolean(keys::kEnableMaskingScript, true);
    const auto profile = fixture.makeProfile("Work", kLondon);
    auto view = fixture.open(profile, kLondon);
    int posts = 0;
    int clientPosts = 0;
    view->addScriptMessageHandler("probeHandler", engine::World::page, [&](const Json&) { ++posts; });
    view->addScriptMessageHandler("clientProbeHandler", engine::World::client,
                                  [&](const Json&) { ++clientPosts; });
    view->addUserScript(engine::UserScript{
        "window.__laterScriptSaw = typeof (window.webkit && window.webkit.messageHandlers);",
        engine::InjectionTime::documentStart, engine::FrameScope::allFrames, engine::World::page});
    ASSERT_TRUE(fixture.loadHTML(*view, "<!DOCTYPE html><body>x</body>", fixture.webURL("/")));

    EXPECT_EQ(evaluate(*view, "window.__laterScriptSaw").value(), "undefined");
    EXPECT_EQ(evaluate(*view, "typeof window.webkit.messageHandlers").value(), "undefined");
    EXPECT_EQ(evaluate(*view, "'messageHandlers' in window.webkit").value(), false);
    EXPECT_EQ(evaluate(*view, "delete window.webkit; typeof window.webkit.messageHandlers").value(),
              "undefined");
    EXPECT_EQ(posts, 0);
    // The rest of the masking still applies, and the system's own world keeps its handlers.
    EXPECT_EQ(evaluate(*view, "new Date().getTimezoneOffset()").value(), 0);
    evaluate(*view, "window.webkit.messageHandlers.clientProbeHandler.postMessage(1); true",
             engine::World::client);
    EXPECT_TRUE(runMainLoopUntil([&] { return clientPosts == 1; }));
}
