#include "core/session/CookieDictionary.h"

#include <gtest/gtest.h>

using orvi::Json;
using orvi::engine::Cookie;
namespace cookies = orvi::cookies;

namespace {

// The cookie named "n" with value "v" on domain "d" that most dictionaries below describe.
Cookie nvd(std::string path = "/", bool secure = false, bool httpOnly = false,
           std::optional<double> expires = std::nullopt, std::optional<std::string> sameSite = std::nullopt) {
    return {"n", "v", "d", std::move(path), secure, httpOnly, expires, std::move(sameSite)};
}

} // namespace

TEST(CookieDictionary, WritesEveryFieldOptionalOnesOnlyWhenSetAndReadsBackTheSameCookieWithoutSameSite) {
    Cookie persistent{"sid", "a=b;c", ".web.orvi.test", "/", true, true, 1893456000.5, "lax"};
    EXPECT_EQ(
        cookies::toDictionary(persistent),
        Json::parse(R"({"name":"sid","value":"a=b;c","domain":".web.orvi.test","path":"/","isSecure":true,
                             "isHTTPOnly":true,"expiresDate":1893456000.5,"sameSitePolicy":"lax"})"));
    const Cookie session{"s", "", "web.orvi.test", "/a"};
    EXPECT_EQ(cookies::toDictionary(session),
              Json::parse(R"({"name":"s","value":"","domain":"web.orvi.test","path":"/a","isSecure":false,
                             "isHTTPOnly":false})"));
    const auto read = cookies::readStrict(cookies::toDictionary(persistent));
    persistent.sameSitePolicy.reset();
    EXPECT_EQ(read, persistent);
}

TEST(CookieDictionary, TheTwoReadingsTreatEachDictionaryAsTheirRulesSay) {
    struct Case {
        const char* dictionary;
        std::optional<Cookie> strict;
        std::optional<Cookie> lenient;
    };
    const Case cases[] = {
        {R"({"name":"n","value":"v","domain":"d"})", std::nullopt, nvd()},
        {R"({"name":"n","value":"v","domain":"d","path":"/p","secure":true,"httpOnly":true})", nvd("/p"),
         nvd("/p", true, true)},
        {R"({"name":"n","value":"v","domain":"d","path":"/","isSecure":"yes","secure":true})", nvd(),
         nvd("/", true)},
        {R"({"name":"n","value":"v","domain":"d","path":"/","expirationDate":0})", nvd(), nvd()},
        {R"({"name":"n","value":"v","domain":"d","path":"/","expiresDate":"soon","expirationDate":1700000000})",
         nvd(), nvd("/", false, false, 1700000000.0)},
        {R"({"name":"n","value":"v","domain":"d","path":"/","expiresDate":-5})", nvd("/", false, false, -5.0),
         nvd()},
        {R"({"name":"n","value":"v","domain":"d","path":"/","expiresDate":1e300})",
         nvd("/", false, false, cookies::kLatestExpiry), nvd("/", false, false, cookies::kLatestExpiry)},
        {R"({"name":"n","value":"v","domain":"d","path":"/","sameSitePolicy":5,"sameSite":"none"})", nvd(),
         nvd("/", false, false, std::nullopt, "none")},
        {R"({"name":1,"value":"v","domain":"d","path":"/"})", std::nullopt, std::nullopt},
        {R"({"name":"n","value":null,"domain":"d","path":"/"})", std::nullopt, std::nullopt},
        {R"({"name":"","value":"v","domain":"d","path":"/"})", std::nullopt, std::nullopt},
        {R"({"name":"n","value":"v","domain":"","path":"/"})", std::nullopt, std::nullopt},
        {R"({"name":"n","value":"line\nbreak","domain":"d","path":"/"})", std::nullopt, std::nullopt},
        {R"({"name":"n","value":"v","domain":"d","path":["/"]})", std::nullopt, nvd()},
    };
    for (const auto& c : cases) {
        const auto dictionary = Json::parse(c.dictionary);
        EXPECT_EQ(cookies::readStrict(dictionary), c.strict) << c.dictionary;
        EXPECT_EQ(cookies::readLenient(dictionary), c.lenient) << c.dictionary;
    }
}

TEST(CookieDictionary, LogHelpersNeverShowValues) {
    std::vector<Cookie> list;
    for (int i = 0; i < 7; ++i)
        list.push_back({"c" + std::to_string(i), "secret", i % 2 ? "b.test" : "a.test", "/", false, false,
                        i == 0 ? std::optional<double>(1769861100.0) : std::nullopt});
    auto lines = cookies::firstCookieLines(list);
    lines.push_back(cookies::domainSetText(list));
    lines.push_back(cookies::redacted("secret"));
    for (const auto& line : lines)
        EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}
