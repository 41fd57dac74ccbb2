#pragma once

#include "core/base/Json.h"

#include <optional>
#include <string>
#include <string_view>

namespace orvi {

// A page's localStorage and sessionStorage, each an object of string keys to string values.
struct StorageSnapshot {
    Json localStorage = Json::object();
    Json sessionStorage = Json::object();

    // Reads the saved form: a JSON object whose "localStorage" and "sessionStorage" members
    // are both objects of strings. Other members are ignored; anything else gives no value.
    static std::optional<StorageSnapshot> parse(std::string_view text);
    static std::optional<StorageSnapshot> fromJson(const Json& value);

    // The page script that captures both stores and returns them as JSON text.
    static const std::string& captureScript();

    // One script per store that clears it and sets every saved item. Keys and values are
    // written as JSON string literals with every non-ASCII character escaped, so quotes,
    // backslashes, line breaks, U+2028/U+2029 and NUL all reach the page unchanged.
    std::string localRestoreScript() const;
    std::string sessionRestoreScript() const;
};

// "http://web.host:8080/a?b" -> "web.host"; empty when the text has no host.
std::string hostOfUrl(std::string_view url);

} // namespace orvi
