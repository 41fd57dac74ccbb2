#include "core/session/CookieDictionary.h"

#include <gtest/gtest.h>

using orvi::Json;
using orvi::engine::Cookie;
namespace cookies = orvi::cookies;

namespace {

Cookie cookie(std::string name, std::string value, std::string domain, std::string path, bool secure,
              bool httpOnly, std::optional<double> expires,
              std::optional<std::string> sameSite = std::nullopt) {
    Cookie c;
    c.name = std::move(name);
    c.value = std::move(value);
    c.domain = std::move(domain);
    c.path = std::move(path);
    c.isSecure = secure;
    c.isHTTPOnly = httpOnly;
    c.expiresDate = expires;
    c.sameSitePolicy = std::move(sameSite);
    return c;
}

} // namespace

TEST(CookieDictionary, WritesEveryFieldAndOptionalOnesOnlyWhenSet) {
    auto persistent = cookie("sid", "v", ".web.orvi.test", "/", true, true, 1893456000.5, "lax");
    EXPECT_EQ(cookies::toDictionary(persistent),
              Json::parse(R"({"name":"sid","value":"v","domain":".web.orvi.test","path":"/","isSecure":true,
                             "isHTTPOnly":true,"expiresDate":1893456000.5,"sameSitePolicy":"lax"})"));
    auto session = cookie("s", "", "web.orvi.test", "/a", false, false, std::nullopt);
    EXPECT_EQ(cookies::toDictionary(session),
              Json::parse(R"({"name":"s","value":"","domain":"web.orvi.test","path":"/a","isSecure":false,
                             "isHTTPOnly":false})"));
}

TEST(CookieDictionary, SavedDictionariesReadBackTheSameCookieWithoutSameSite) {
    auto original = cookie("sid", "a=b;c", ".web.orvi.test", "/", true, true, 1893456000.5, "strict");
    auto read = cookies::readStrict(cookies::toDictionary(original));
    ASSERT_TRUE(read);
    original.sameSitePolicy.reset();
    EXPECT_EQ(*read, original);
}

TEST(CookieDictionary, TheTwoReadingsTreatEachDictionaryAsTheirRulesSay) {
    struct Case {
        const char* dictionary;
        std::optional<Cookie> strict;
        std::optional<Cookie> lenient;
    };
    const Case cases[] = {
        {R"({"name":"n","value":"v","domain":"d"})", std::nullopt,
         cookie("n", "v", "d", "/", false, false, std::nullopt)},
        {R"({"name":"n","value":"v","domain":"d","path":"/p","secure":true,"httpOnly":true})",
         cookie("n", "v", "d", "/p", false, false, std::nullopt),
         cookie("n", "v", "d", "/p", true, true, std::nullopt)},
        {R"({"name":"n","value":"v","domain":"d","path":"/","isSecure":"yes","secure":true})",
         cookie("n", "v", "d", "/", false, false, std::nullopt),
         cookie("n", "v", "d", "/", true, false, std::nullopt)},
        {R"({"name":"n","value":"v","domain":"d","path":"/","expirationDate":0})",
         cookie("n", "v", "d", "/", false, false, std::nullopt),
         cookie("n", "v", "d", "/", false, false, std::nullopt)},
        {R"({"name":"n","value":"v","domain":"d","path":"/","expiresDate":"soon","expirationDate":1700000000})",
         cookie("n", "v", "d", "/", false, false, std::nullopt),
         cookie("n", "v", "d", "/", false, false, 1700000000.0)},
        {R"({"name":"n","value":"v","domain":"d","path":"/","expiresDate":-5})",
         cookie("n", "v", "d", "/", false, false, -5.0),
         cookie("n", "v", "d", "/", false, false, std::nullopt)},
        {R"({"name":"n","value":"v","domain":"d","path":"/","expiresDate":1e300})",
         cookie("n", "v", "d", "/", false, false, cookies::kLatestExpiry),
         cookie("n", "v", "d", "/", false, false, cookies::kLatestExpiry)},
        {R"({"name":"n","value":"v","domain":"d","path":"/","sameSitePolicy":5,"sameSite":"none"})",
         cookie("n", "v", "d", "/", false, false, std::nullopt),
         cookie("n", "v", "d", "/", false, false, std::nullopt, "none")},
        {R"({"name":1,"value":"v","domain":"d","path":"/"})", std::nullopt, std::nullopt},
        {R"({"name":"n","value":null,"domain":"d","path":"/"})", std::nullopt, std::nullopt},
        {R"({"name":"","value":"v","domain":"d","path":"/"})", std::nullopt, std::nullopt},
        {R"({"name":"n","value":"v","domain":"","path":"/"})", std::nullopt, std::nullopt},
        {R"({"name":"n","value":"line\nbreak","domain":"d","path":"/"})", std::nullopt, std::nullopt},
        {R"({"name":"n","value":"v","domain":"d","path":["/"]})", std::nullopt,
         cookie("n", "v", "d", "/", false, false, std::nullopt)},
    };
    for (const auto& c : cases) {
        const auto dictionary = Json::parse(c.dictionary);
        EXPECT_EQ(cookies::readStrict(dictionary), c.strict) << c.dictionary;
        EXPECT_EQ(cookies::readLenient(dictionary), c.lenient) << c.dictionary;
    }
}

TEST(CookieDictionary, LogHelpersShowDomainsExpiriesAndLengthsButNoValues) {
    std::vector<Cookie> list;
    for (int i = 0; i < 7; ++i)
        list.push_back(cookie("c" + std::to_string(i), "secret", i % 2 ? "b.test" : "a.test", "/", false,
                              false, i == 0 ? std::optional<double>(1769861100.0) : std::nullopt));
    EXPECT_EQ(cookies::domainSetText(list), R"(["a.test", "b.test"])");
    const auto lines = cookies::firstCookieLines(list);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "   - c0 (domain: a.test, expires: 2026-01-31 12:05:00 +0000)");
    EXPECT_EQ(lines[1], "   - c1 (domain: b.test, expires: session)");
    EXPECT_EQ(cookies::redacted("сессия-42"), "[9 chars]");
}
