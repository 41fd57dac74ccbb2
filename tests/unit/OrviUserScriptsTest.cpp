#include "core/web/scripts/OrviUserScripts.h"

#include "core/profiles/LocationSettings.h"
#include "core/web/scripts/JavaScriptLiteral.h"

#include <gtest/gtest.h>
#include <limits>

using orvi::LocationSettings;
using orvi::OrviUserScripts;

namespace {

const std::string kProfileId = "0F8FAD5B-D9CB-469F-A165-70867728950E";

LocationSettings location(std::string timezone, std::string locale, std::string city,
                          std::optional<double> latitude = std::nullopt,
                          std::optional<double> longitude = std::nullopt) {
    return LocationSettings{std::move(timezone), std::move(locale), std::move(city), latitude, longitude};
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

// Whether a literal is inert is checked with the literal itself; here only that every stored
// text goes in through one and nowhere else.
TEST(OrviUserScripts, MaskingScriptInsertsStoredTextsOnlyAsInertLiterals) {
    const std::string value = "Лондон \"quoted\" back\\slash line\nbreak </script><script>alert(1)</script> "
                              "sep\xE2\x80\xA8 '; alert(1); ' "
                              "bad\xFFutf8 {{timezone}}";
    const auto script =
        OrviUserScripts::webViewMaskingScript(kProfileId, location(value, value + "_X", value + " city"));
    EXPECT_TRUE(contains(script, "const timezone = " + orvi::javaScriptStringLiteral(value) + ";\n"));
    EXPECT_TRUE(contains(script, "const locale = " + orvi::javaScriptStringLiteral(value + "_X") + ";\n"));
    EXPECT_TRUE(
        contains(script, "const cityName = " + orvi::javaScriptStringLiteral(value + " city") + ";\n"));
    EXPECT_TRUE(contains(script, "const profileId = \"" + kProfileId + "\";"));
    for (const char* raw : {"</script>", "\xE2\x80\xA8", "line\nbreak", "= {{"})
        EXPECT_FALSE(contains(script, raw)) << raw;
}

TEST(OrviUserScripts, MaskingScriptPassesOnlyFiniteCoordinatesAndCustomOnlyWithinBounds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::optional<double> latitude;
        std::optional<double> longitude;
        std::string latitudeText;
        std::string longitudeText;
        bool custom;
    };
    const Case cases[] = {
        {56.8389, 60.6057, "56.8389", "60.6057", true},
        {90.0, -180.0, "90", "-180", true},
        {1e-05, 0.0, "1e-05", "0", true},
        // Out of range: the position is still presented, the permission is not granted.
        {95.0, 10.0, "95", "10", false},
        {std::nullopt, 10.0, "null", "10", false},
        {nan, 10.0, "null", "10", false},
        {10.0, inf, "10", "null", false},
        {-inf, nan, "null", "null", false},
    };
    for (const auto& c : cases) {
        const auto script = OrviUserScripts::webViewMaskingScript(
            kProfileId, location("Europe/London", "en_GB", "London", c.latitude, c.longitude));
        EXPECT_TRUE(contains(script, "const configuredLatitude = " + c.latitudeText + ";")) << c.latitudeText;
        EXPECT_TRUE(contains(script, "const configuredLongitude = " + c.longitudeText + ";"))
            << c.longitudeText;
        EXPECT_TRUE(
            contains(script, std::string("name === 'geolocation' && ") + (c.custom ? "true" : "false")))
            << c.latitudeText << " " << c.longitudeText;
        EXPECT_FALSE(contains(script, "NaN"));
        EXPECT_FALSE(contains(script, "Infinity"));
    }
}

TEST(OrviUserScripts, NavigationSwitchSearchesTheSectionTextOfItsIndexAndLogsTheLabelSafely) {
    const std::pair<int, std::string> cases[] = {{0, "Все"}, {1, "Новые"}, {2, "Контакты"}, {3, "Звонки"},
                                                 {4, ""},    {7, ""},      {-1, ""}};
    for (const auto& [index, searchText] : cases) {
        const auto script = OrviUserScripts::switchToNavigationItem(index, "Chats'); alert(1); ('\n");
        EXPECT_TRUE(contains(script, "const index = " + std::to_string(index) + ";"));
        EXPECT_TRUE(contains(script, "const searchText = \"" + searchText + "\";")) << index;
        EXPECT_TRUE(contains(script, "const label = \"Chats\\u0027); alert(1); (\\u0027\\u000a\";"));
        EXPECT_FALSE(contains(script, "{{"));
    }
}
