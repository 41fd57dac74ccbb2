#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace orvi {

using Json = nlohmann::json;

// Parses JSON text without throwing; malformed text, invalid UTF-8 and nesting deeper than
// kMaxJsonDepth give no value.
std::optional<Json> parseJson(std::string_view text);

inline constexpr int kMaxJsonDepth = 512;

// Compact text, invalid UTF-8 replaced rather than thrown on.
std::string toJsonText(const Json& value);

// Compact text, or no value when the value holds invalid UTF-8: a session entry that cannot be
// written exactly is not written at all, rather than saved altered.
std::optional<std::string> exactJsonText(const Json& value);

// Indented by two spaces with sorted keys, as written to export files.
std::string toPrettyJsonText(const Json& value);

// Typed member access for strict readers: no value when the member is absent or has
// another type. A JSON null counts as absent.
std::optional<std::string> stringMember(const Json& object, std::string_view key);
std::optional<bool> boolMember(const Json& object, std::string_view key);
std::optional<double> numberMember(const Json& object, std::string_view key);

// True when the member exists, is not null and does not have the expected kind.
bool hasMemberOfOtherType(const Json& object, std::string_view key, Json::value_t expected);

} // namespace orvi
