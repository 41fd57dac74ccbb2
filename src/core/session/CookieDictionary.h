#pragma once

#include "core/base/Json.h"
#include "engine/EngineTypes.h"

#include <optional>
#include <string>
#include <vector>

namespace orvi::cookies {

// The JSON form of one cookie, shared by the saved entries and every export:
// "name", "value", "domain", "path", "isSecure", "isHTTPOnly", and "expiresDate" /
// "sameSitePolicy" only when the cookie has them.
Json toDictionary(const engine::Cookie& cookie);
Json toDictionaries(const std::vector<engine::Cookie>& cookies);

// The reading of a profile's own saved entry: name, value, domain and path must be strings,
// the flags default to false, the expiry is taken when it is a number, SameSite is not read.
std::optional<engine::Cookie> readStrict(const Json& dictionary);

// The reading of import files, which may come from other tools: path defaults to "/",
// "secure"/"httpOnly"/"expirationDate"/"sameSite" stand in for the own keys, a key of the
// wrong type counts as absent, and an expiry of 0 or less means a session cookie.
std::optional<engine::Cookie> readLenient(const Json& dictionary);

// True for an array whose every element is an object (an empty array included).
bool isArrayOfObjects(const Json& value);

// Log helpers shared by saving, restoring and importing.
// ["a", "b"]: the distinct domains.
std::string domainSetText(const std::vector<engine::Cookie>& cookies);
// "   - name (domain: d, expires: 2026-01-31 12:00:00 +0000)" for the first five cookies.
std::vector<std::string> firstCookieLines(const std::vector<engine::Cookie>& cookies);
// The expiry as "yyyy-MM-dd HH:mm:ss +0000", or "session".
std::string expiryText(const std::optional<double>& expiresDate);
// A secret as its length only: "[32 chars]".
std::string redacted(const std::string& secret);
// Logs the domain set and the first cookies.
void logSummary(const std::vector<engine::Cookie>& cookies);

// The latest expiry a cookie may carry (9999-12-31T23:59:59Z); later dates are clamped so
// that a hostile file cannot overflow the engine's date types.
inline constexpr double kLatestExpiry = 253402300799.0;

} // namespace orvi::cookies
