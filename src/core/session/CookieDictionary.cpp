#include "core/session/CookieDictionary.h"

#include "core/base/Log.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <set>

namespace orvi::cookies {
namespace {

// A cookie the engine could not hold: no name or domain, or a character that would break
// the cookie's header form.
bool isStorable(const engine::Cookie& cookie) {
    if (cookie.name.empty() || cookie.domain.empty() || cookie.path.empty())
        return false;
    auto hasControl = [](const std::string& text) {
        return std::any_of(text.begin(), text.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return byte < 0x20 || byte == 0x7F;
        });
    };
    return !hasControl(cookie.name) && !hasControl(cookie.value) && !hasControl(cookie.domain) &&
           !hasControl(cookie.path);
}

std::optional<double> usableExpiry(double seconds) {
    if (!std::isfinite(seconds))
        return std::nullopt;
    return std::min(seconds, kLatestExpiry);
}

template <class T, class Getter>
std::optional<T> firstOf(const Json& dictionary, std::initializer_list<std::string_view> keys, Getter get) {
    for (auto key : keys)
        if (auto value = get(dictionary, key))
            return value;
    return std::nullopt;
}

std::optional<double> firstNumber(const Json& dictionary, std::initializer_list<std::string_view> keys) {
    // The first key that is present with a number wins, even when that number is unusable.
    for (auto key : keys)
        if (auto value = numberMember(dictionary, key))
            return value;
    return std::nullopt;
}

} // namespace

Json toDictionary(const engine::Cookie& cookie) {
    Json dictionary = Json::object();
    dictionary["name"] = cookie.name;
    dictionary["value"] = cookie.value;
    dictionary["domain"] = cookie.domain;
    dictionary["path"] = cookie.path;
    dictionary["isSecure"] = cookie.isSecure;
    dictionary["isHTTPOnly"] = cookie.isHTTPOnly;
    if (cookie.expiresDate && std::isfinite(*cookie.expiresDate))
        dictionary["expiresDate"] = *cookie.expiresDate;
    if (cookie.sameSitePolicy)
        dictionary["sameSitePolicy"] = *cookie.sameSitePolicy;
    return dictionary;
}

Json toDictionaries(const std::vector<engine::Cookie>& cookies) {
    Json array = Json::array();
    for (const auto& cookie : cookies)
        array.push_back(toDictionary(cookie));
    return array;
}

std::optional<engine::Cookie> readStrict(const Json& dictionary) {
    auto name = stringMember(dictionary, "name");
    auto value = stringMember(dictionary, "value");
    auto domain = stringMember(dictionary, "domain");
    auto path = stringMember(dictionary, "path");
    if (!name || !value || !domain || !path)
        return std::nullopt;
    engine::Cookie cookie;
    cookie.name = std::move(*name);
    cookie.value = std::move(*value);
    cookie.domain = std::move(*domain);
    cookie.path = std::move(*path);
    cookie.isSecure = boolMember(dictionary, "isSecure").value_or(false);
    cookie.isHTTPOnly = boolMember(dictionary, "isHTTPOnly").value_or(false);
    if (auto expires = numberMember(dictionary, "expiresDate"))
        cookie.expiresDate = usableExpiry(*expires);
    if (!isStorable(cookie))
        return std::nullopt;
    return cookie;
}

std::optional<engine::Cookie> readLenient(const Json& dictionary) {
    auto name = stringMember(dictionary, "name");
    auto value = stringMember(dictionary, "value");
    auto domain = stringMember(dictionary, "domain");
    if (!name || !value || !domain)
        return std::nullopt;
    engine::Cookie cookie;
    cookie.name = std::move(*name);
    cookie.value = std::move(*value);
    cookie.domain = std::move(*domain);
    cookie.path = stringMember(dictionary, "path").value_or("/");
    cookie.isSecure = firstOf<bool>(dictionary, {"isSecure", "secure"}, boolMember).value_or(false);
    cookie.isHTTPOnly = firstOf<bool>(dictionary, {"isHTTPOnly", "httpOnly"}, boolMember).value_or(false);
    if (auto expires = firstNumber(dictionary, {"expiresDate", "expirationDate"}); expires && *expires > 0)
        cookie.expiresDate = usableExpiry(*expires);
    cookie.sameSitePolicy = firstOf<std::string>(dictionary, {"sameSitePolicy", "sameSite"}, stringMember);
    if (!isStorable(cookie))
        return std::nullopt;
    return cookie;
}

bool isArrayOfObjects(const Json& value) {
    return value.is_array() &&
           std::all_of(value.begin(), value.end(), [](const Json& e) { return e.is_object(); });
}

std::string domainSetText(const std::vector<engine::Cookie>& cookies) {
    std::set<std::string> domains;
    for (const auto& cookie : cookies)
        domains.insert(cookie.domain);
    std::string text = "[";
    bool first = true;
    for (const auto& domain : domains) {
        if (!first)
            text += ", ";
        first = false;
        text += "\"" + domain + "\"";
    }
    return text + "]";
}

std::vector<std::string> firstCookieLines(const std::vector<engine::Cookie>& cookies) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < cookies.size() && i < 5; ++i)
        lines.push_back("   - " + cookies[i].name + " (domain: " + cookies[i].domain +
                        ", expires: " + expiryText(cookies[i].expiresDate) + ")");
    return lines;
}

std::string expiryText(const std::optional<double>& expiresDate) {
    if (!expiresDate || !std::isfinite(*expiresDate))
        return "session";
    const auto seconds =
        static_cast<std::time_t>(std::floor(std::clamp(*expiresDate, -62135596800.0, kLatestExpiry)));
    std::tm utc{};
    if (!gmtime_r(&seconds, &utc))
        return "session";
    char buffer[40];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &utc);
    return buffer;
}

std::string redacted(const std::string& secret) {
    // Count characters, not bytes, so the length reads the same as in the page.
    std::size_t characters = 0;
    for (unsigned char c : secret)
        if ((c & 0xC0) != 0x80)
            ++characters;
    std::string text = "[";
    text += std::to_string(characters);
    text += " chars]";
    return text;
}

void logSummary(const std::vector<engine::Cookie>& cookies) {
    logLine("   Domains: " + domainSetText(cookies));
    for (const auto& line : firstCookieLines(cookies))
        logLine(line);
}

} // namespace orvi::cookies
