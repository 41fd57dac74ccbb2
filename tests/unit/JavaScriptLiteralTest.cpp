#include "core/web/scripts/JavaScriptLiteral.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using orvi::javaScriptJsonExpression;
using orvi::javaScriptNumberLiteral;
using orvi::javaScriptStringLiteral;

namespace {

// The literal is valid JSON as well, so the JSON reader gives back what the page will see.
std::string readBack(const std::string& literal) {
    const auto parsed = orvi::parseJson(literal);
    EXPECT_TRUE(parsed && parsed->is_string()) << literal;
    return parsed && parsed->is_string() ? parsed->get<std::string>() : std::string();
}

bool isInertInAnyScriptContext(const std::string& literal) {
    for (unsigned char c : literal)
        if (c < 0x20 || c == '<' || c == '>' || c == '&' || c == '\'')
            return false;
    return literal.find("\xE2\x80\xA8") == std::string::npos &&
           literal.find("\xE2\x80\xA9") == std::string::npos;
}

} // namespace

TEST(JavaScriptLiteral, HostileTextsAreEscapedAndReadBackUnchanged) {
    const std::pair<std::string, std::string> cases[] = {
        {"Europe/Moscow", R"("Europe/Moscow")"},
        {"Екатеринбург", "\"Екатеринбург\""},
        {"Say \"hi\"", R"("Say \"hi\"")"},
        {"back\\slash", R"("back\\slash")"},
        {"it's", R"("it\u0027s")"},
        {"line\nbreak\r\t", R"("line\u000abreak\u000d\u0009")"},
        {"</script><script>alert(1)</script>",
         R"("\u003c/script\u003e\u003cscript\u003ealert(1)\u003c/script\u003e")"},
        {"a&b", R"("a\u0026b")"},
        {"sep\xE2\x80\xA8par\xE2\x80\xA9", R"("sep\u2028par\u2029")"},
        {std::string("nul\0end", 7), R"("nul\u0000end")"},
        {"del\x7F", R"("del\u007f")"},
        {"emoji 😀", "\"emoji 😀\""},
        {"\"; alert(1); //", R"("\"; alert(1); //")"},
        {"\\\"); alert(1); (\"", R"("\\\"); alert(1); (\"")"},
    };
    for (const auto& [text, expected] : cases) {
        const auto literal = javaScriptStringLiteral(text);
        EXPECT_EQ(literal, expected) << text;
        EXPECT_EQ(readBack(literal), text);
        EXPECT_TRUE(isInertInAnyScriptContext(literal)) << literal;
    }
}

TEST(JavaScriptLiteral, InvalidUtf8BecomesReplacementCharacters) {
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"a\xFF\x62", "a" + r + "b"},
        {"\xC0\xAF", r + r},                 // overlong "/"
        {"\xED\xA0\x80", r + r + r},         // a lone surrogate
        {"\xE2\x80", r + r},                 // cut short
        {"\xF4\x90\x80\x80", r + r + r + r}, // beyond U+10FFFF
        {"ok\xD0", "ok" + r},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(readBack(javaScriptStringLiteral(bytes)), expected) << bytes;
}

TEST(JavaScriptLiteral, NumbersAreShortestDecimalsAndNonFiniteValuesAreNull) {
    EXPECT_EQ(javaScriptNumberLiteral(56.8389), "56.8389");
    EXPECT_EQ(javaScriptNumberLiteral(-180.0), "-180");
    EXPECT_EQ(javaScriptNumberLiteral(1e-05), "1e-05");
    EXPECT_EQ(javaScriptNumberLiteral(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(javaScriptNumberLiteral(std::nullopt), "null");
    const double inf = std::numeric_limits<double>::infinity();
    for (const double nonFinite : {std::numeric_limits<double>::quiet_NaN(), inf, -inf})
        EXPECT_EQ(javaScriptNumberLiteral(nonFinite), "null") << nonFinite;
}

TEST(JavaScriptLiteral, JsonTravelsAsAStringThatJsonParseReadsBack) {
    const orvi::Json value = {{"localStorage", {{"__proto__", "x"}, {"k\n</script>", "v\xE2\x80\xA8\"\\"}}},
                              {"sessionStorage", orvi::Json::object()}};
    const auto expression = javaScriptJsonExpression(value);
    ASSERT_TRUE(expression.starts_with("JSON.parse(\""));
    ASSERT_TRUE(expression.ends_with("\")"));
    EXPECT_TRUE(isInertInAnyScriptContext(expression.substr(11, expression.size() - 12)));
    const auto inner = readBack(expression.substr(11, expression.size() - 12));
    EXPECT_EQ(orvi::parseJson(inner), value);
}
