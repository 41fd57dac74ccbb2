#pragma once

#include "core/base/Json.h"

#include <optional>
#include <string>
#include <string_view>

namespace orvi {

// Values the system inserts into page scripts are written as literals that cannot end the
// literal early, break a line, close an HTML script element or carry invalid UTF-8, whatever
// the stored text holds.

// A double-quoted JavaScript string literal (also a valid JSON string). Backslash and double
// quote are escaped with a backslash; single quote, "<", ">", "&", every control character,
// U+2028 and U+2029 as \uXXXX. Invalid UTF-8 becomes U+FFFD; other text stays as it is.
std::string javaScriptStringLiteral(std::string_view utf8);

// The shortest decimal text of the number, or null when absent or not finite.
std::string javaScriptNumberLiteral(std::optional<double> value);

// An expression that evaluates to the JSON value, with own members for every key (even
// "__proto__", which an object literal would take as the prototype).
std::string javaScriptJsonExpression(const Json& value);

} // namespace orvi
